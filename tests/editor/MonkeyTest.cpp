// The editor under a monkey: a long random sequence of what an operator can do (tree picks and commands,
// tools, presses, drags, double-clicks, keys, the wheel, toolbar commands, dialogs answered at random, undo,
// redo, saves), from a fixed seed. After every step the template's invariants hold; at the end it saves and
// reads back equal.
//
// ZRK_MONKEY_STEPS (default 400) and ZRK_MONKEY_SEED (default 20261208) choose the run; scripts/monkey.sh
// runs a long one. A failure names the seed and the step, and the steps before it, to replay it.

#include "EditorFixture.h"

#include "datastruct/CustomMaskArea.h"
#include "datastruct/InspType.h"
#include "datastruct/Kernel.h"
#include "datastruct/ModelCodec.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/Note.h"
#include "datastruct/ParaAnalytic.h"
#include "datastruct/Phase.h"
#include "datastruct/RefImage.h"
#include "datastruct/Side.h"
#include "datastruct/SysPara.h"
#include "dialogs/ModalRunner.h"
#include "view/ImgView.h"
#include "editor/KernelLinks.h"
#include "view/MyImageWnd.h"
#include "formats/TreeTextNode.h"
#include "geometry/MaskArea.h"
#include "host/SysConfig.h"
#include "testsupport/TestSize.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>

#include <cstdlib>
#include <cstdio>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <sstream>

namespace {

int EnvInt(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoi(value) : fallback;
}

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text)
        out += c < 128 ? char(c) : '?';
    return out;
}

/// The template's invariants; each broken one is a line of the result.
class CInvariants {
public:
    explicit CInvariants(CModelInfo& model) : m_model(model) {}

    std::string Check() {
        m_problems.str("");
        Unique(m_model.m_inspTypes, "types");
        Unique(m_model.m_sideTypes, "side types");
        Unique(m_model.m_phaseTypes, "phase types");
        Unique(m_model.m_maskCoeffTypes, "mask-coefficient types");
        Unique(m_model.m_customParaTypes, "custom types");
        Unique(m_model.m_refImageSet.m_refImages, "reference images");
        for (int r = 0; r < m_model.m_refImageSet.m_refImages.GetSize(); ++r) {
            auto* ref = m_model.m_refImageSet.m_refImages.GetAtAs<CRefImage>(r);
            Unique(ref->m_kernels, "kernels");
            Unique(ref->m_cameras, "cameras");
            Unique(ref->m_splits, "split schemes");
            for (int k = 0; k < ref->m_kernels.GetSize(); ++k)
                Parses(ref->m_kernels.GetAtAs<CKernel>(k)->m_strParameters, "kernel");
        }
        for (int t = 0; t < m_model.m_inspTypes.GetSize(); ++t) {
            auto* type = m_model.m_inspTypes.GetAtAs<CInspType>(t);
            Unique(type->m_sides, "sides");
            Parses(type->m_strParameters, "type");
            for (int s = 0; s < type->m_sides.GetSize(); ++s)
                CheckSide(*type, *type->m_sides.GetAtAs<CSide>(s));
        }
        return m_problems.str();
    }

private:
    void CheckSide(const CInspType& type, CSide& side) {
        Unique(side.m_phases, "phases");
        Unique(side.m_threshMasks, "shielded areas");
        Unique(side.m_customMasks, "custom masks");
        Parses(side.m_strParameters, "side");
        CRefImage* ref = m_model.m_refImageSet.FindRefImage(side.m_nRefImageID);
        auto kernelExists = [&](int id) { return ref && ref->m_kernels.FindByID(id) != nullptr; };
        std::set<int> sideNotes;
        for (int p = 0; p < side.m_phases.GetSize(); ++p) {
            auto* phase = side.m_phases.GetAtAs<CPhase>(p);
            Unique(phase->m_notes, "notes");
            Unique(phase->m_areas, "areas");
            Parses(phase->m_strParameters, "phase");
            std::set<int> notes;
            for (int n = 0; n < phase->m_notes.GetSize(); ++n) {
                auto* note = phase->m_notes.GetAtAs<CNote>(n);
                notes.insert(note->m_nID);
                Unique(note->m_areas, "note items");
                Parses(note->m_strParameters, "note");
            }
            sideNotes.insert(notes.begin(), notes.end());
            for (int a = 0; a < phase->m_areas.GetSize(); ++a) {
                auto* area = phase->m_areas.GetAtAs<CMaskArea>(a);
                if (!notes.count(area->m_nSheetID))
                    m_problems << "area " << area->m_nID << " on missing note " << area->m_nSheetID << "\n";
                Parses(area->m_strParameters, "area");
                const auto [x, y] = m_links.Read(area->m_strParameters);
                for (int id : {x, y})
                    if (id > 0 && !kernelExists(id))
                        m_problems << "area " << area->m_nID << " linked to missing kernel " << id << "\n";
            }
        }
        for (CItemList* masks : {&side.m_threshMasks, &side.m_customMasks})
            for (int m = 0; m < masks->GetSize(); ++m) {
                auto* mask = masks->GetAtAs<CMaskArea>(m);
                if (!sideNotes.empty() && !sideNotes.count(mask->m_nSheetID))
                    m_problems << "mask " << mask->m_nID << " on missing note " << mask->m_nSheetID << "\n";
            }
        if (IsTypeNamed(&type, L"尺寸定位")) {
            CParaAnalytic analyser;
            CKernelSlots sideSlots(analyser, side.m_strParameters);
            for (const auto& [a, b] : sideSlots.GetPairs())
                if (!kernelExists(a) || !kernelExists(b))
                    m_problems << "pair " << a << "-" << b << " names a missing kernel\n";
        }
    }
    void Unique(const CItemList& list, const char* what) {
        std::set<int> seen;
        for (int i = 0; i < list.GetSize(); ++i)
            if (CIDItem* item = list.GetAt(i); item && !seen.insert(item->m_nID).second)
                m_problems << what << ": identifier " << item->m_nID << " twice\n";
    }
    /// A parameter text reads back as the text it writes.
    void Parses(const std::wstring& text, const char* what) {
        if (text.empty())
            return;
        CParaAnalytic analyser;
        analyser.LoadText(text);
        const std::wstring once = analyser.GetText();
        analyser.LoadText(once);
        if (analyser.GetText() != once)
            m_problems << what << " parameter text does not read back: " << Narrow(text.substr(0, 60)) << "\n";
    }

    CModelInfo& m_model;
    CAreaLinkReader m_links;
    std::ostringstream m_problems;
};

class MonkeyTest : public EditorTest {
protected:
    void SetUp() override {
        EditorTest::SetUp();
        m_savedDelay = CSysConfig::Get().m_nPressDelay;
        CSysConfig::Get().m_nPressDelay = 0;
        ASSERT_TRUE(m_dlg->ActivateByID(m_nModelID));
        Select({L"缺陷检测", L"正面", L"第一印次"});
    }
    void TearDown() override {
        CSysConfig::Get().m_nPressDelay = m_savedDelay;
        EditorTest::TearDown();
    }

    int Random(int n) { return n <= 1 ? 0 : int(m_rng() % unsigned(n)); }
    QWidget* Wnd() const { return m_dlg->GetImageWnd(); }
    QPoint RandomPoint() {
        // Half the time on or near something drawn on the current sheet, as an operator works.
        if (Random(2) == 0 && m_dlg->GetView()) {
            std::vector<CRect> boxes;
            CNote* note = m_dlg->GetCurNote();
            auto add = [&](CItemList& list) {
                for (int i = 0; note && i < list.GetSize(); ++i)
                    if (auto* mask = list.GetAtAs<CMaskArea>(i); mask && mask->m_nSheetID == note->m_nID)
                        boxes.push_back(mask->GetBoundRect(nullptr));
            };
            if (CPhase* phase = m_dlg->GetCurPhase())
                add(phase->m_areas);
            if (CSide* side = m_dlg->GetCurSide()) {
                add(side->m_threshMasks);
                add(side->m_customMasks);
            }
            if (m_dlg->GetDocument().GetRefImage()) {
                const CPoint origin = m_dlg->GetCurSheetOrigin();
                for (int i = 0; i < m_dlg->GetDocument().GetRefImage()->m_kernels.GetSize(); ++i) {
                    CRect box = m_dlg->GetDocument().GetRefImage()->m_kernels.GetAtAs<CKernel>(i)->GetRect();
                    box.OffsetRect(-origin.x, -origin.y);
                    boxes.push_back(box);
                }
            }
            if (!boxes.empty()) {
                const CRect box = boxes[Random(int(boxes.size()))];
                const int x = box.left - 4 + Random(std::max(1, box.Width() + 8));
                const int y = box.top - 4 + Random(std::max(1, box.Height() + 8));
                return m_dlg->GetView()->ImageToWindow(QRect(x, y, 1, 1)).topLeft();
            }
        }
        const QRect r = Wnd() ? Wnd()->rect() : QRect(0, 0, 1, 1);
        return QPoint(Random(std::max(1, std::min(r.width(), 500))), Random(std::max(1, std::min(r.height(), 500))));
    }
    /// Dialogs: a fresh label where there is one, then OK, delete, clone or cancel at random.
    int Answer(QDialog& dialog) {
        for (auto* edit : dialog.findChildren<QLineEdit*>(QStringLiteral("label")))
            edit->setText(QStringLiteral("M%1").arg(++m_nLabels));
        const int pick = Random(10);
        const char* button = pick < 6 ? "1" : pick == 6 ? "delete" : pick == 7 ? "clone" : nullptr;
        if (button)
            if (auto* b = dialog.findChild<QPushButton*>(QLatin1String(button)); b && b->isEnabled()) {
                b->click();
                if (!dialog.isVisible())
                    return dialog.result();
            }
        dialog.reject();
        return QDialog::Rejected;
    }
    void PickTreeItem() {
        std::vector<QTreeWidgetItem*> items;
        std::function<void(QTreeWidgetItem*)> walk = [&](QTreeWidgetItem* item) {
            items.push_back(item);
            for (int i = 0; i < item->childCount(); ++i)
                walk(item->child(i));
        };
        for (int i = 0; i < m_dlg->GetTree()->topLevelItemCount(); ++i)
            walk(m_dlg->GetTree()->topLevelItem(i));
        if (items.empty())
            return;
        // Mostly phases and sides, where the image is shown.
        std::vector<QTreeWidgetItem*> deep;
        for (QTreeWidgetItem* item : items)
            if (CModelTreeCtrl::GetItemDepth(item) >= 2)
                deep.push_back(item);
        const std::vector<QTreeWidgetItem*>& from = !deep.empty() && Random(4) != 0 ? deep : items;
        QTreeWidgetItem* item = from[Random(int(from.size()))];
        m_dlg->GetTree()->scrollToItem(item);
        const QRect rect = m_dlg->GetTree()->visualItemRect(item);
        QTest::mouseClick(m_dlg->GetTree()->viewport(), Qt::LeftButton, {}, rect.center());
    }
    void Move(const QPoint& at, Qt::MouseButtons buttons) {
        QMouseEvent move(QEvent::MouseMove, at, Wnd()->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(Wnd(), &move);
    }
    /// One random action; its name for the log.
    std::string Step() {
        const int kind = Random(100);
        if (kind < 12) {
            PickTreeItem();
            return "tree pick";
        }
        if (kind < 20) {
            const int tool = Random(2) == 0 ? 0 : Random(8);  // the selection tool most of the time
            static_cast<QAbstractButton*>(m_dlg->GetControl(1504 + tool))->click();
            return "tool " + std::to_string(tool);
        }
        if (!Wnd()) {
            // Nothing to show (the monkey deleted every side, say): an operator undoes, or opens another
            // template when that has gone on for a while.
            if (++m_nBlind > 12) {
                m_nBlind = 0;
                const int id = m_deploy.AddSampleModel(L"monkey" + std::to_wstring(++m_nModels));
                m_dlg->ActivateByID(id);
                Select({L"缺陷检测", L"正面", L"第一印次"});
                return "no image: another template";
            }
            if (Random(2) == 0) {
                m_dlg->Undo();
                return "no image: undo";
            }
            PickTreeItem();
            return "no image: tree pick";
        }
        m_nBlind = 0;
        const QPoint a = RandomPoint();
        const Qt::KeyboardModifiers mods = Random(5) == 0 ? Qt::ShiftModifier : Qt::NoModifier;
        if (kind < 38) {
            QTest::mouseClick(Wnd(), Qt::LeftButton, mods, a);
            return "click";
        }
        if (kind < 50) {
            const QPoint b = a + QPoint(Random(60) - 30, Random(60) - 30);
            QTest::mousePress(Wnd(), Qt::LeftButton, mods, a);
            Move((a + b) / 2, Qt::LeftButton);
            Move(b, Qt::LeftButton);
            QTest::mouseRelease(Wnd(), Qt::LeftButton, mods, b);
            return "drag";
        }
        if (kind < 55) {
            QTest::mouseClick(Wnd(), Qt::LeftButton, {}, a);
            QTest::mouseDClick(Wnd(), Qt::LeftButton, {}, a);
            return "double-click";
        }
        if (kind < 58) {
            QTest::mouseClick(Wnd(), Qt::RightButton, {}, a);
            QTest::mouseDClick(Wnd(), Qt::RightButton, {}, a);
            return "right double-click";
        }
        if (kind < 70) {
            static const Qt::Key keys[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up, Qt::Key_Down, Qt::Key_Delete};
            const Qt::Key key = keys[Random(5)];
            QTest::keyClick(m_dlg->findChild<QWidget*>(QStringLiteral("1025")), key);
            return "key " + std::to_string(int(key));
        }
        if (kind < 73) {
            QWheelEvent wheel(a, Wnd()->mapToGlobal(a), QPoint(), QPoint(0, Random(2) ? 120 : -120), Qt::NoButton,
                              Random(2) ? Qt::ControlModifier : Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(Wnd(), &wheel);
            return "wheel";
        }
        if (kind < 85) {
            static const int commands[] = {32783, 32811, 32801, 32802, 32810, 32812, 32813, 32814, 32789, 32815,
                                           32791, 32798, 32794, 32803, 32806, 32772, 32773, 32780, 32774, 32777,
                                           32778, 32792, 32793, 32779, 32776, 32775};
            // The deleting commands come last and are picked less often.
            const int count = int(std::size(commands));
            const int index = Random(10) == 0 ? count - 1 - Random(3) : Random(count - 3);
            m_dlg->OnCommand(commands[index]);
            return "command " + std::to_string(commands[index]);
        }
        if (kind < 91) {
            m_dlg->Undo();
            return "undo";
        }
        if (kind < 96) {
            m_dlg->Redo();
            return "redo";
        }
        if (kind < 99) {
            m_dlg->ApplySmallSheet(Random(3), Random(2), false);
            return "small sheet";
        }
        m_dlg->Save();
        return "save";
    }

    std::mt19937 m_rng;
    int m_nLabels = 0;
    int m_nBlind = 0;   ///< steps in a row without an image shown
    int m_nModels = 0;  ///< templates the monkey has added
    int m_savedDelay = 0;
};

TEST_F(MonkeyTest, InvariantsHoldAfterEveryStepAndTheModelSavesAndReadsBackEqual) {
    const int steps = EnvInt("ZRK_MONKEY_STEPS", RoundsFor(400, 150));
    const int seed = EnvInt("ZRK_MONKEY_SEED", 20261208);
    m_rng.seed(unsigned(seed));
    m_prompter.m_defaultAnswer = 0;
    ScopedModalHandler handler([this](QDialog& dialog) { return Answer(dialog); });
    std::vector<std::string> log;
    std::map<std::string, int> changes;  // the steps that changed the template, by kind
    for (int step = 0; step < steps; ++step) {
        // Questions are answered at random too.
        static const int answers[] = {IDYES, IDNO, IDCANCEL, IDOK};
        m_prompter.m_answers.clear();
        for (int i = 0; i < 4; ++i)
            m_prompter.m_answers.push_back(answers[Random(4)]);
        const std::string before = EncodeModel(*m_dlg->GetDocument().GetModel());
        log.push_back(Step());
        QApplication::processEvents();
        if (m_dlg->GetDocument().GetModel() && EncodeModel(*m_dlg->GetDocument().GetModel()) != before)
            ++changes[log.back().substr(0, log.back().find_first_of(" :"))];
        ASSERT_NE(m_dlg->GetDocument().GetModel(), nullptr);
        ASSERT_EQ(m_dlg->GetDocument().GetEditDepth(), 0) << "seed " << seed << ", step " << step << " (" << log.back() << ")";
        const std::string problems = CInvariants(*m_dlg->GetDocument().GetModel()).Check();
        if (!problems.empty()) {
            std::string recent;
            for (size_t i = log.size() > 12 ? log.size() - 12 : 0; i < log.size(); ++i)
                recent += "  " + log[i] + "\n";
            FAIL() << "seed " << seed << ", step " << step << ":\n" << problems << "after:\n" << recent;
        }
    }
    std::map<std::string, int> counts;
    for (const std::string& name : log)
        ++counts[name.substr(0, name.find_first_of(" :"))];
    std::string summary;
    for (const auto& [name, count] : counts)
        summary += name + " " + std::to_string(count) + "; ";
    // What the run left in the template, to see that it did more than click on nothing.
    int areas = 0, masks = 0, kernels = 0, locked = 0;
    for (int t = 0; t < m_dlg->GetDocument().GetModel()->m_inspTypes.GetSize(); ++t) {
        auto* type = m_dlg->GetDocument().GetModel()->m_inspTypes.GetAtAs<CInspType>(t);
        for (int sd = 0; sd < type->m_sides.GetSize(); ++sd) {
            auto* side = type->m_sides.GetAtAs<CSide>(sd);
            masks += side->m_threshMasks.GetSize() + side->m_customMasks.GetSize();
            for (int p = 0; p < side->m_phases.GetSize(); ++p) {
                CItemList& list = side->m_phases.GetAtAs<CPhase>(p)->m_areas;
                areas += list.GetSize();
                for (int a = 0; a < list.GetSize(); ++a)
                    locked += list.GetAtAs<CMaskArea>(a)->m_bLocked ? 1 : 0;
            }
        }
    }
    for (int r = 0; r < m_dlg->GetDocument().GetModel()->m_refImageSet.m_refImages.GetSize(); ++r)
        kernels += m_dlg->GetDocument().GetModel()->m_refImageSet.m_refImages.GetAtAs<CRefImage>(r)->m_kernels.GetSize();
    std::string changed;
    for (const auto& [name, count] : changes)
        changed += name + " " + std::to_string(count) + "; ";
    std::printf("changed the template: %s\n", changed.c_str());
    std::printf("monkey, seed %d: %s\nleft: %d areas (%d locked), %d shielded areas and masks, %d kernels, "
                "%zu steps in the journal\n",
                seed, summary.c_str(), areas, locked, masks, kernels, m_dlg->GetDocument().GetJournal().GetStepCount());
    // Most steps must have reached the image, or the run proves little.
    EXPECT_LT(counts["no"], steps / 4) << summary;
    m_prompter.m_answers.clear();
    ASSERT_TRUE(m_dlg->Save());
    const std::string saved = EncodeModel(*m_dlg->GetDocument().GetModel());
    CModelInfo reread;
    ASSERT_TRUE(reread.Load(m_dlg->GetDocument().GetModel()->m_nID));
    EXPECT_EQ(EncodeModel(reread), saved) << "seed " << seed;
}

} // namespace
