#include "CatalogueTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>

int DialogSteps::Run(QDialog& dialog) {
    const std::string name = dialog.objectName().toStdString();
    m_opened.push_back(name);
    if (m_steps.empty()) {
        ADD_FAILURE() << "unexpected dialog " << name;
        return QDialog::Rejected;
    }
    auto [expected, step] = std::move(m_steps.front());
    m_steps.pop_front(); // before the step: it may open nested dialogs
    EXPECT_EQ(name, expected);
    return step(dialog);
}

DialogSteps::Step DialogSteps::Press(const char* button) {
    return [button](QDialog& dialog) {
        Click(dialog, button);
        return dialog.result();
    };
}

void Click(QWidget& parent, const char* name) {
    if (auto* button = Control<QAbstractButton>(parent, name))
        button->click();
}

void SetText(QWidget& parent, const char* name, const QString& text) {
    if (auto* edit = Control<QLineEdit>(parent, name))
        edit->setText(text);
}

void SaveScreenshot(QWidget& widget, const std::string& name) {
    const QString folder = QStringLiteral(ZRK_SCREENSHOT_DIR);
    QDir().mkpath(folder);
    QApplication::processEvents();
    const QPixmap picture = widget.grab();
    EXPECT_FALSE(picture.isNull());
    EXPECT_TRUE(
        picture.save(folder + QStringLiteral("/") + QString::fromStdString(name) + QStringLiteral(".png")));
}
