#include "AssistCheck.h"
#include "AssistCommand.h"

#include "assist/JsonWriter.h"
#include "datastruct/ModelInfo.h"
#include "datastruct/TemplateStore.h"
#include "editor/TemplateCheck.h"
#include "formats/CodePage.h"
#include "formats/DataFolder.h"
#include "formats/Utility.h"

#include <cstdlib>
#include <filesystem>

namespace {

const char* KindName(CCheckItem::Kind kind) {
    switch (kind) {
    case CCheckItem::Kind::Model: return "template";
    case CCheckItem::Kind::RefImage: return "reference-image";
    case CCheckItem::Kind::Camera: return "camera";
    case CCheckItem::Kind::Side: return "side";
    case CCheckItem::Kind::Phase: return "phase";
    case CCheckItem::Kind::Note: return "note";
    case CCheckItem::Kind::Kernel: return "kernel";
    case CCheckItem::Kind::Area: return "inspection-area";
    case CCheckItem::Kind::Shielded: return "shielded-area";
    }
    return "template";
}

void IdKey(CJsonWriter& w, const char* key, int value) {
    if (value < 0)
        return;
    w.Key(key);
    w.Int(value);
}

std::string ReportJson(const CTemplateCheckReport& report, const CModelInfo& model) {
    CJsonWriter w;
    w.BeginObject();
    w.Key("model");
    w.BeginObject();
    w.Key("id");
    w.Int(model.m_nID);
    w.Key("name");
    w.String(WideToUtf8(model.m_strName));
    w.EndObject();
    w.Key("errors");
    w.Int(report.m_nErrors);
    w.Key("warnings");
    w.Int(report.m_nWarnings);
    w.Key("kernels_rated");
    w.Int(report.m_nKernelsRated);
    w.Key("findings");
    w.BeginArray();
    for (const CCheckFinding& f : report.m_findings) {
        w.BeginObject();
        w.Key("severity");
        w.String(f.m_severity == CheckSeverity::Error ? "error" : "warning");
        w.Key("code");
        w.String(f.m_strCode);
        w.Key("item");
        w.String(WideToUtf8(DescribeCheckItem(model, f.m_item, false)));
        w.Key("kind");
        w.String(KindName(f.m_item.m_kind));
        IdKey(w, "type_id", f.m_item.m_nTypeID);
        IdKey(w, "side_id", f.m_item.m_nSideID);
        IdKey(w, "phase_id", f.m_item.m_nPhaseID);
        IdKey(w, "reference_image_id", f.m_item.m_nRefID);
        if (f.m_item.m_nSheetCol >= 0 && f.m_item.m_nSheetRow >= 0) {
            w.Key("sheet");
            w.BeginArray(true);
            w.Int(f.m_item.m_nSheetCol);
            w.Int(f.m_item.m_nSheetRow);
            w.EndArray();
        }
        IdKey(w, "id", f.m_item.m_nItemID);
        w.Key("message");
        w.String(WideToUtf8(f.GetMessage(false)));
        w.EndObject();
    }
    w.EndArray();
    w.EndObject();
    return w.GetText();
}

} // namespace

int RunCheckCommand(const std::vector<std::string>& args, std::string& out, std::string& err) {
    std::vector<std::string> positional;
    bool rate = true;
    for (const std::string& a : args) {
        if (a == "--no-rating")
            rate = false;
        else if (!a.empty() && a[0] == '-' && a.size() > 1)
            return err += "zrk-assist: unknown option " + a + " for check\n" + AssistUsage(), kAssistUsage;
        else
            positional.push_back(a);
    }
    if (positional.size() != 2)
        return err += "zrk-assist: check needs STORE and MODEL (its identifier or name)\n" + AssistUsage(), kAssistUsage;
    const std::wstring address = Utf8ToWide(positional[0]);
    const std::string shown = WideToUtf8(ShownStoreAddress(address));  // never a password
    std::error_code ec;
    if (!IsServerStoreAddress(address) && !std::filesystem::is_regular_file(std::filesystem::u8path(positional[0]), ec)) {
        err += "zrk-assist: " + shown + ": no such template store\n";
        return kAssistBadImage;
    }
    // Camera images a store holds are read through the image cache: the deployment's, else the user's.
    if (!IsWritableFolder(GetExeFolder() + L"Cache")) {
        const std::wstring user = GetUserDataFolder();
        if (!user.empty()) {
            std::filesystem::create_directories(std::filesystem::u8path(WideToUtf8(user)) / "Cache", ec);
            SetDataFolder(user);
        }
    }
    CTemplateStore store;
    if (!store.Open(address)) {
        err += "zrk-assist: " + shown + ": " + WideToUtf8(store.GetLastError()) + "\n";
        return kAssistBadImage;
    }
    std::vector<CModelCatalogEntry> catalogue;
    if (!store.ListModels(catalogue)) {
        err += "zrk-assist: " + shown + ": " + WideToUtf8(store.GetLastError()) + "\n";
        return kAssistBadImage;
    }
    store.Close();
    const std::wstring wanted = Utf8ToWide(positional[1]);
    int id = -1;
    for (const CModelCatalogEntry& entry : catalogue)
        if (entry.m_strName == wanted || std::to_wstring(entry.m_nID) == wanted) {
            id = entry.m_nID;
            break;
        }
    if (id < 0) {
        err += "zrk-assist: the store holds no template " + positional[1] + "\n";
        return kAssistBadImage;
    }
    CModelInfo model;
    model.SetStorePath(address);
    model.SetTakeInImagesOnLoad(false);  // the check writes nothing into the store
    if (!model.Load(id)) {
        err += "zrk-assist: template " + positional[1] + ": " + WideToUtf8(model.GetLastError()) + "\n";
        return kAssistBadImage;
    }
    CTemplateCheckOptions options;
    options.m_bRateKernels = rate;
    const CTemplateCheckReport report = CheckTemplate(model, options);
    out = ReportJson(report, model);
    return report.m_nErrors > 0 ? kAssistCheckErrors : kAssistOk;
}
