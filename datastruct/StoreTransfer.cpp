#include "datastruct/StoreTransfer.h"

#include "datastruct/ByteStream.h"
#include "datastruct/StoreContainer.h"
#include "formats/CodePage.h"
#include "formats/Sha256.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>

namespace fs = std::filesystem;

namespace {

std::wstring NowUtc() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return Utf8ToWide(text);
}

std::wstring Quoted(const std::wstring& text) {
    return L"\"" + text + L"\"";
}

std::wstring ModelLabel(int id, const std::wstring& name) {
    return L"model " + std::to_wstring(id) + L" " + Quoted(name);
}

// "YYYY-MM-DD HH:MM:SS" or empty: the times a store records.
bool IsStoreTime(const std::wstring& text) {
    if (text.empty())
        return true;
    if (text.size() != 19)
        return false;
    for (size_t i = 0; i < text.size(); ++i) {
        const wchar_t c = text[i];
        const bool digit = c >= L'0' && c <= L'9';
        if ((i == 4 || i == 7) ? c != L'-' : i == 10 ? c != L' ' : (i == 13 || i == 16) ? c != L':' : !digit)
            return false;
    }
    return true;
}

// A temporary name beside `path` that does not exist yet (the rename into place stays on one file system).
std::string TemporaryBeside(const std::string& path) {
    std::random_device random;
    for (;;) {
        char suffix[48];
        std::snprintf(suffix, sizeof suffix, ".part-%ld-%08x", static_cast<long>(getpid()), random());
        const std::string temp = path + suffix;
        struct stat info {};
        if (::lstat(temp.c_str(), &info) != 0 && errno == ENOENT)
            return temp;
    }
}

void RemoveStoreFile(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        ::unlink((path + suffix).c_str());
}

// Syncs the file, renames it into place and syncs the folder. False with the reason.
bool PutInPlace(const std::string& temp, const std::string& path, std::wstring& error) {
    const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        error = Utf8ToWide(path) + L": cannot be written (" + Utf8ToWide(std::strerror(errno)) + L")";
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    ::close(fd);
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        error = Utf8ToWide(path) + L": cannot be put in place (" + Utf8ToWide(std::strerror(errno)) + L")";
        return false;
    }
    const std::string folder = fs::u8path(path).parent_path().string();
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

// Whether `path` names the store's own file.
bool IsStoreFile(const CTemplateStore& store, const std::wstring& path) {
    if (store.IsOnServer())
        return false;
    std::error_code ec;
    return fs::equivalent(fs::u8path(WideToUtf8(path)), fs::u8path(WideToUtf8(store.GetPath())), ec) && !ec;
}

// What one run records: the first failure decides the result; the progress function may stop it.
class CRun {
public:
    CRun(CTransferResult& result, const TransferProgress& progress) : m_result(result), m_progress(progress) {}
    bool Fail(TransferStatus status, const std::wstring& text, StoreFailure failure = StoreFailure::None) {
        if (m_result.m_nStatus == TransferStatus::Done) {
            m_result.m_nStatus = status;
            m_result.m_strError = text;
            m_result.m_nStoreFailure = failure;
        }
        return false;
    }
    // Named apart from the dialogs' `Refuse`: the language check follows functions by name, and these texts are
    // the administrator's program's own (English, untranslated).
    bool Decline(const std::wstring& text) { return Fail(TransferStatus::Refused, text); }
    bool FailStore(const CTemplateStore& store, const std::wstring& what) {
        return Fail(TransferStatus::StoreFailed, what + L": " + store.GetLastError(),
                    store.GetLastFailure() == StoreFailure::None ? StoreFailure::Other : store.GetLastFailure());
    }
    bool Failed() const { return m_result.m_nStatus != TransferStatus::Done; }
    CTransferResult& Result() { return m_result; }
    CTransferProgress& Now() { return m_now; }
    bool Report() {
        if (m_progress && !m_progress(m_now))
            return Fail(TransferStatus::Stopped, L"stopped before the end");
        return true;
    }

private:
    CTransferResult& m_result;
    const TransferProgress& m_progress;
    CTransferProgress m_now;
};

// ---- a model on its way ----

// What a model section says (or a store gives) before the images and revisions follow.
struct CModelHead {
    int m_nSourceID = 0;
    CStoredModel m_model;     // name, title, saved at and by, data with its CRC as stored
    int64_t m_nRevisions = 0;
    int64_t m_nHeadNumber = 0;
    std::string m_strHead;    // ModelHeadMark
    std::vector<CStoredImage> m_images;
    std::wstring Label() const { return ModelLabel(m_nSourceID, m_model.m_strName); }
};

// Where a model's parts go: an export file, a store, or nowhere (a check).
class IModelSink {
public:
    virtual ~IModelSink() = default;
    virtual bool BeginModel(const CModelHead& head) = 0;
    /// Whether the sink wants the image's bytes.
    virtual bool NeedImage(const std::string& hash, bool& need) = 0;
    virtual bool Image(const std::string& hash, const std::string& bytes) = 0;
    /// One revision as the source stored it, in the order of their numbers.
    virtual bool Revision(const CStoredRevision& row) = 0;
    virtual bool EndModel() = 0;
};

class CNullSink final : public IModelSink {
public:
    bool BeginModel(const CModelHead&) override { return true; }
    bool NeedImage(const std::string&, bool& need) override {
        need = true;
        return true;
    }
    bool Image(const std::string&, const std::string&) override { return true; }
    bool Revision(const CStoredRevision&) override { return true; }
    bool EndModel() override { return true; }
};

// Checks a model on its way to the next sink: its data against its CRC, its images against their hashes, its
// chain of revisions as it was linked in the source, and that the revisions are the ones announced. The
// first fault refuses the model.
class CCheckingSink final : public IModelSink {
public:
    CCheckingSink(IModelSink& next, CRun& run) : m_next(next), m_run(run) {}
    bool BeginModel(const CModelHead& head) override {
        m_label = head.Label();
        m_nRevisions = head.m_nRevisions;
        m_nHeadNumber = head.m_nHeadNumber;
        m_strHead = head.m_strHead;
        const CStoredModel& m = head.m_model;
        if (m.m_bHasData && Crc32(m.m_data) != m.m_nCrc)
            return m_run.Decline(m_label + L": its data does not match its checksum (CRC-32): damaged");
        for (const CStoredImage& image : head.m_images)
            if (!IsStoreImageHash(image.m_strHash) || image.m_strPath.empty())
                return m_run.Decline(m_label + L": camera path " + Quoted(image.m_strPath) +
                                    L" names no valid image hash");
        if (head.m_nRevisions == 0 &&
            head.m_strHead != ModelHeadMark(std::string(), m.m_strName, m.m_strTitle, m.m_data))
            return m_run.Decline(m_label + L": its version mark does not match its data: damaged");
        m_chain.emplace(head.m_nSourceID);
        return m_next.BeginModel(head);
    }
    bool NeedImage(const std::string& hash, bool& need) override { return m_next.NeedImage(hash, need); }
    bool Image(const std::string& hash, const std::string& bytes) override {
        if (Sha256Hex(bytes) != hash)
            return m_run.Decline(m_label + L": image " + Utf8ToWide(hash) + L" does not match its hash: damaged");
        return m_next.Image(hash, bytes);
    }
    bool Revision(const CStoredRevision& row) override {
        m_chain->Add(row);
        if (!m_chain->GetFaults().empty())
            return m_run.Decline(m_label + L": its history does not check: " +
                                DescribeRevisionFault(m_chain->GetFaults().front()));
        return m_next.Revision(row);
    }
    bool EndModel() override {
        if (m_chain->GetCount() != m_nRevisions)
            return m_run.Decline(m_label + L": " + std::to_wstring(m_nRevisions) + L" revisions announced, " +
                                std::to_wstring(m_chain->GetCount()) + L" found: damaged");
        if (m_nRevisions > 0 && (m_chain->GetLastHash() != m_strHead || m_chain->GetLastNumber() != m_nHeadNumber))
            return m_run.Decline(m_label + L": its newest revision is not the one announced: damaged");
        return m_next.EndModel();
    }

private:
    IModelSink& m_next;
    CRun& m_run;
    std::wstring m_label;
    int64_t m_nRevisions = 0;
    int64_t m_nHeadNumber = 0;
    std::string m_strHead;
    std::optional<CRevisionChainCheck> m_chain;
};

// Writes the model into an export file.
class CContainerSink final : public IModelSink {
public:
    CContainerSink(CContainerWriter& writer, CRun& run) : m_writer(writer), m_run(run) {}
    bool BeginModel(const CModelHead& head) override {
        const CStoredModel& m = head.m_model;
        CContainerPayload p;
        p.PutI32(head.m_nSourceID);
        p.PutText(m.m_strName);
        p.PutText(m.m_strTitle);
        p.PutText(m.m_strSavedAt);
        p.PutText(m.m_strSavedBy);
        p.PutU8(m.m_bHasData ? 1 : 0);
        p.PutU32(m.m_nCrc);
        p.PutBytes(m.m_data);
        p.PutU64(static_cast<uint64_t>(head.m_nRevisions));
        p.PutI64(head.m_nHeadNumber);
        p.PutAscii(head.m_strHead);
        p.PutU32(static_cast<uint32_t>(head.m_images.size()));
        for (const CStoredImage& image : head.m_images) {
            p.PutText(image.m_strPath);
            p.PutAscii(image.m_strHash);
            p.PutU64(static_cast<uint64_t>(image.m_nSize));
        }
        m_nSourceID = head.m_nSourceID;
        m_nRevisions = 0;
        return Write(StoreContainerSection::kModel, p);
    }
    bool NeedImage(const std::string& hash, bool& need) override {
        need = m_written.count(hash) == 0;
        return true;
    }
    bool Image(const std::string& hash, const std::string& bytes) override {
        CContainerPayload p;
        p.PutAscii(hash);
        p.PutBytes(bytes);
        m_written.insert(hash);
        return Write(StoreContainerSection::kImage, p);
    }
    bool Revision(const CStoredRevision& r) override {
        CContainerPayload p;
        p.PutI64(r.m_nNumber);
        p.PutText(r.m_strSavedAt);
        p.PutText(r.m_strStation);
        p.PutText(r.m_strUser);
        p.PutText(r.m_strRole);
        p.PutText(r.m_strSummary);
        p.PutU8(r.m_bFull ? 1 : 0);
        p.PutI64(r.m_nSize);
        p.PutAscii(r.m_strDataHash);
        p.PutAscii(r.m_strPrevHash);
        p.PutAscii(r.m_strHash);
        p.PutBytes(r.m_body);
        ++m_nRevisions;
        return Write(StoreContainerSection::kRevision, p);
    }
    bool EndModel() override {
        CContainerPayload p;
        p.PutI32(m_nSourceID);
        p.PutU64(static_cast<uint64_t>(m_nRevisions));
        return Write(StoreContainerSection::kModelEnd, p);
    }

private:
    bool Write(uint32_t type, const CContainerPayload& p) {
        return m_writer.Write(type, p) || m_run.Fail(TransferStatus::FileFailed, Utf8ToWide(m_writer.GetError()));
    }
    CContainerWriter& m_writer;
    CRun& m_run;
    std::set<std::string> m_written;
    int m_nSourceID = 0;
    int64_t m_nRevisions = 0;
};

// How one model is added to a store: under which identifier and name, and whether its origin is recorded.
struct CAddPlan {
    int m_nID = 0;
    std::wstring m_strName;
    bool m_bRecordOrigin = true;
};

// Writes models into a store inside its import transaction, one plan per model in the order they come.
class CStoreSink final : public IModelSink {
public:
    CStoreSink(CTemplateStore& target, CRun& run, std::vector<CAddPlan> plans, bool relink, std::wstring source,
               std::wstring how)
        : m_target(target), m_run(run), m_plans(std::move(plans)), m_bRelink(relink), m_strSource(std::move(source)),
          m_strHow(std::move(how)) {}
    bool BeginModel(const CModelHead& head) override {
        if (m_nIndex >= m_plans.size())
            return m_run.Fail(TransferStatus::Refused, head.Label() + L": not planned");
        const CAddPlan& plan = m_plans[m_nIndex];
        // The catalogue row comes last (`EndModel`): on a server the catalogue is locked from there to the
        // commit only, so stations go on saving while the history is written.
        m_row = head.m_model;
        m_row.m_strName = plan.m_strName;
        m_label = head.Label();
        m_outcome = CTransferOutcome();
        m_outcome.m_nSourceID = head.m_nSourceID;
        m_outcome.m_strName = head.m_model.m_strName;
        m_outcome.m_nTargetID = plan.m_nID;
        m_outcome.m_strTargetName = plan.m_strName;
        m_outcome.m_nImages = static_cast<int64_t>(head.m_images.size());
        m_images = head.m_images;
        m_nSourceID = head.m_nSourceID;
        m_strHead = head.m_strHead;
        m_nHeadNumber = head.m_nHeadNumber;
        m_strLastHash.clear();
        return true;
    }
    bool NeedImage(const std::string& hash, bool& need) override {
        bool has = false;
        if (!m_target.HasStoredImage(hash, has))
            return m_run.FailStore(m_target, L"the target's images cannot be read");
        need = !has;
        return true;
    }
    bool Image(const std::string& hash, const std::string& bytes) override {
        if (!m_target.WriteImportedImage(hash, bytes))
            return m_run.FailStore(m_target, L"image " + Utf8ToWide(hash) + L" cannot be added");
        ++m_outcome.m_nImagesWritten;
        return true;
    }
    bool Revision(const CStoredRevision& row) override {
        const int id = m_plans[m_nIndex].m_nID;
        CStoredRevision r = row;
        if (m_bRelink) {
            // The record, the bytes hash and the body as they were; the links for the model it now belongs to.
            r.m_strPrevHash = m_strLastHash;
            r.m_strHash = CTemplateStore::RevisionLinkHash(id, r);
        }
        if (!m_target.WriteImportedRevision(id, r))
            return m_run.FailStore(m_target, L"revision " + std::to_wstring(r.m_nNumber) + L" cannot be added");
        m_strLastHash = r.m_strHash;
        ++m_outcome.m_nRevisions;
        return true;
    }
    bool EndModel() override {
        const CAddPlan& plan = m_plans[m_nIndex];
        if (!m_target.WriteImportedModel(plan.m_nID, m_row))
            return m_run.FailStore(m_target, m_label + L" cannot be added");
        m_row = CStoredModel();
        for (const CStoredImage& image : m_images)
            if (!m_target.MapImportedImage(plan.m_nID, image.m_strPath, image.m_strHash))
                return m_run.FailStore(m_target, L"camera path " + Quoted(image.m_strPath) + L" cannot be added");
        if (plan.m_bRecordOrigin) {
            CModelOrigin origin;
            origin.m_nModelID = plan.m_nID;
            origin.m_strSource = m_strSource;
            origin.m_nSourceID = m_nSourceID;
            origin.m_strSourceHead = m_strHead;
            origin.m_nHeadNumber = m_nHeadNumber;
            origin.m_strTargetHead = m_strLastHash;
            origin.m_strAddedAt = NowUtc();
            origin.m_strHow = m_strHow;
            if (!m_target.WriteModelOrigin(origin))
                return m_run.FailStore(m_target, L"the origin of model " + std::to_wstring(plan.m_nID) +
                                                     L" cannot be recorded");
        }
        m_outcomes.push_back(m_outcome);
        ++m_nIndex;
        return true;
    }
    const std::vector<CTransferOutcome>& Outcomes() const { return m_outcomes; }

private:
    CTemplateStore& m_target;
    CRun& m_run;
    std::vector<CAddPlan> m_plans;
    bool m_bRelink;
    std::wstring m_strSource;
    std::wstring m_strHow;
    size_t m_nIndex = 0;
    CStoredModel m_row;
    std::wstring m_label;
    CTransferOutcome m_outcome;
    std::vector<CTransferOutcome> m_outcomes;
    std::vector<CStoredImage> m_images;
    int m_nSourceID = 0;
    std::string m_strHead;
    int64_t m_nHeadNumber = 0;
    std::string m_strLastHash;
};

// ---- models read from a store ----

// The model's row, images and the records of its revisions (no bodies), read inside the caller's snapshot.
// Refused when the store does not hold the model.
bool ReadStoreModelHead(CTemplateStore& store, int id, CModelHead& head, std::vector<CStoredRevision>& records,
                        CRun& run) {
    head = CModelHead();
    records.clear();
    std::vector<CModelSummary> summary;
    if (!store.ListModelSummaries(id, summary))
        return run.FailStore(store, L"the catalogue cannot be read");
    if (summary.empty())
        return run.Decline(L"the store holds no model " + std::to_wstring(id));
    head.m_nSourceID = id;
    if (!store.ReadStoredModel(id, head.m_model))
        return run.FailStore(store, ModelLabel(id, summary[0].m_strName) + L" cannot be read");
    if (!head.m_model.m_bExists)
        return run.Decline(L"the store holds no model " + std::to_wstring(id));
    head.m_model.m_strSavedAt = summary[0].m_strSavedAt;
    head.m_model.m_strSavedBy = summary[0].m_strSavedBy;
    if (!store.LoadModelImages(id, head.m_images))
        return run.FailStore(store, head.Label() + L": its images cannot be read");
    if (summary[0].m_nRevisions > 0 && !store.ReadRevisionRows(id, 1, 0, false, records))
        return run.FailStore(store, head.Label() + L": its history cannot be read");
    head.m_nRevisions = static_cast<int64_t>(records.size());
    head.m_nHeadNumber = records.empty() ? 0 : records.back().m_nNumber;
    head.m_strHead = ModelHeadMark(records.empty() ? std::string() : records.back().m_strHash, head.m_model.m_strName,
                                   head.m_model.m_strTitle, head.m_model.m_data);
    return true;
}

// Hands the model to the sink: the head, the images the sink wants, the revisions with their bodies a few
// dozen at a time.
bool SendStoreModel(CTemplateStore& store, const CModelHead& head, const std::vector<CStoredRevision>& records,
                    IModelSink& sink, CRun& run) {
    if (!sink.BeginModel(head))
        return false;
    std::set<std::string> sent;
    for (const CStoredImage& image : head.m_images) {
        if (!sent.insert(image.m_strHash).second)
            continue;
        bool need = false;
        if (!sink.NeedImage(image.m_strHash, need))
            return false;
        if (!need)
            continue;
        std::string bytes;
        bool found = false;
        if (!store.LoadImageBytes(image.m_strHash, bytes, found))
            return run.FailStore(store, head.Label() + L": image " + Utf8ToWide(image.m_strHash) + L" cannot be read");
        if (!found)
            return run.Decline(head.Label() + L": image " + Utf8ToWide(image.m_strHash) + L" is mapped but not stored");
        if (!sink.Image(image.m_strHash, bytes))
            return false;
    }
    CTransferProgress& now = run.Now();
    now.m_strItem = head.m_model.m_strName;
    now.m_nRevisions = 0;
    now.m_nRevisionTotal = head.m_nRevisions;
    if (!run.Report())
        return false;
    constexpr size_t kChunk = static_cast<size_t>(CTemplateStore::kRevisionFullEvery);
    for (size_t at = 0; at < records.size(); at += kChunk) {
        const size_t last = std::min(records.size(), at + kChunk) - 1;
        std::vector<CStoredRevision> rows;
        if (!store.ReadRevisionRows(head.m_nSourceID, records[at].m_nNumber, records[last].m_nNumber, true, rows))
            return run.FailStore(store, head.Label() + L": its history cannot be read");
        for (const CStoredRevision& row : rows) {
            if (!sink.Revision(row))
                return false;
            ++now.m_nRevisions;
            if (!run.Report())
                return false;
        }
    }
    return sink.EndModel();
}

// ---- models read from an export file ----

struct CFileHeader {
    std::wstring m_strSource;
    std::wstring m_strProgram;
    std::wstring m_strWrittenAt;
    std::wstring m_strStation;
    uint32_t m_nModels = 0;
};

bool ParseModel(const std::string& payload, CModelHead& head) {
    CContainerFields f(payload);
    head = CModelHead();
    head.m_nSourceID = f.GetI32();
    CStoredModel& m = head.m_model;
    m.m_bExists = true;
    m.m_strName = f.GetText();
    m.m_strTitle = f.GetText();
    m.m_strSavedAt = f.GetText();
    m.m_strSavedBy = f.GetText();
    const uint8_t hasData = f.GetU8();
    m.m_bHasData = hasData != 0;
    m.m_nCrc = f.GetU32();
    m.m_data = f.GetBytes();
    const uint64_t revisions = f.GetU64();
    head.m_nHeadNumber = f.GetI64();
    head.m_strHead = f.GetAscii();
    const uint32_t images = f.GetU32();
    for (uint32_t i = 0; f.Ok() && i < images; ++i) {
        CStoredImage image;
        image.m_strPath = f.GetText();
        image.m_strHash = f.GetAscii();
        image.m_nSize = static_cast<int64_t>(f.GetU64());
        head.m_images.push_back(std::move(image));
    }
    head.m_nRevisions = static_cast<int64_t>(revisions);
    return f.Done() && hasData <= 1 && revisions <= static_cast<uint64_t>(INT64_MAX) && IsStoreTime(m.m_strSavedAt) &&
           (m.m_bHasData || m.m_data.empty());
}

bool ParseRevision(const std::string& payload, CStoredRevision& r) {
    CContainerFields f(payload);
    r = CStoredRevision();
    r.m_nNumber = f.GetI64();
    r.m_strSavedAt = f.GetText();
    r.m_strStation = f.GetText();
    r.m_strUser = f.GetText();
    r.m_strRole = f.GetText();
    r.m_strSummary = f.GetText();
    const uint8_t full = f.GetU8();
    r.m_bFull = full != 0;
    r.m_nSize = f.GetI64();
    r.m_strDataHash = f.GetAscii();
    r.m_strPrevHash = f.GetAscii();
    r.m_strHash = f.GetAscii();
    r.m_body = f.GetBytes();
    r.m_nStoredSize = static_cast<int64_t>(r.m_body.size());
    return f.Done() && full <= 1;
}

// Reads the export file section by section into the sink, checking that the sections come in their order
// and carry what they announce. `heads` (when given) receives each model's head without its data.
bool SendContainer(CContainerReader& reader, const std::wstring& path, IModelSink& sink, CRun& run, CFileHeader& header,
                   std::vector<CModelHead>* heads) {
    using namespace StoreContainerSection;
    const auto fault = [&](CContainerReader::Fault kind, const std::string& text) {
        reader.Fail(kind, text);
        return run.Fail(kind == CContainerReader::Fault::Unreadable ? TransferStatus::FileFailed : TransferStatus::Refused,
                        path + L": " + Utf8ToWide(reader.GetError()));
    };
    const auto damaged = [&](const std::string& text) { return fault(CContainerReader::Fault::Damaged, text); };
    uint32_t type = 0;
    std::string payload;
    bool haveHeader = false;
    std::optional<CModelHead> open;  // the model whose sections are being read
    int64_t revisions = 0;
    std::set<std::string> images;    // the images the file holds so far
    uint32_t models = 0;
    CTransferProgress& now = run.Now();
    while (reader.Next(type, payload)) {
        if (!haveHeader) {
            if (type != kHeader)
                return damaged("the file does not start with its header section: damaged");
            CContainerFields f(payload);
            header.m_strSource = f.GetText();
            header.m_strProgram = f.GetText();
            header.m_strWrittenAt = f.GetText();
            header.m_strStation = f.GetText();
            header.m_nModels = f.GetU32();
            if (!f.Done())
                return damaged("the header section is malformed: damaged");
            haveHeader = true;
            now.m_szStage = L"models";
            now.m_nTotal = header.m_nModels;
            continue;
        }
        switch (type) {
        case kModel: {
            if (open)
                return damaged("a model begins inside another: damaged");
            CModelHead head;
            if (!ParseModel(payload, head))
                return damaged("a model section is malformed: damaged");
            now.m_nDone = models;
            now.m_strItem = head.m_model.m_strName;
            now.m_nRevisions = 0;
            now.m_nRevisionTotal = head.m_nRevisions;
            if (!run.Report() || !sink.BeginModel(head))
                return false;
            revisions = 0;
            open = std::move(head);
            break;
        }
        case kImage: {
            CContainerFields f(payload);
            const std::string hash = f.GetAscii();
            const std::string bytes = f.GetBytes();
            if (!f.Done() || !IsStoreImageHash(hash))
                return damaged("an image section is malformed: damaged");
            if (!open)
                return damaged("an image outside a model: damaged");
            if (!images.insert(hash).second)
                return damaged("image " + hash + " is held twice: damaged");
            bool need = false;
            if (!sink.NeedImage(hash, need) || (need && !sink.Image(hash, bytes)))
                return false;
            break;
        }
        case kRevision: {
            CStoredRevision row;
            if (!open)
                return damaged("a revision outside a model: damaged");
            if (!ParseRevision(payload, row))
                return damaged("a revision section is malformed: damaged");
            if (!sink.Revision(row))
                return false;
            ++revisions;
            ++now.m_nRevisions;
            if (!run.Report())
                return false;
            break;
        }
        case kModelEnd: {
            CContainerFields f(payload);
            const int32_t id = f.GetI32();
            const uint64_t count = f.GetU64();
            if (!f.Done() || !open || id != open->m_nSourceID || count != static_cast<uint64_t>(revisions))
                return damaged("a model's end does not match its beginning: damaged");
            for (const CStoredImage& image : open->m_images)
                if (!images.count(image.m_strHash))
                    return damaged("image " + image.m_strHash + " of model " + std::to_string(id) +
                                   " is not in the file: damaged");
            if (!sink.EndModel())
                return false;
            if (heads) {
                open->m_model.m_data.clear();
                heads->push_back(std::move(*open));
            }
            open.reset();
            ++models;
            break;
        }
        default:
            return damaged("a section of type " + std::to_string(type) + " where it does not belong: damaged");
        }
    }
    if (!reader.AtEnd()) {
        if (run.Failed())
            return false;
        return run.Fail(reader.GetFault() == CContainerReader::Fault::Unreadable ? TransferStatus::FileFailed
                                                                                 : TransferStatus::Refused,
                        path + L": " + Utf8ToWide(reader.GetError()));
    }
    if (!haveHeader || open || models != header.m_nModels)
        return damaged("the file ends before its models do: damaged");
    now.m_nDone = models;
    return true;
}

bool OpenContainer(CContainerReader& reader, const std::wstring& path, CRun& run) {
    if (reader.Open(path))
        return true;
    return run.Fail(reader.GetFault() == CContainerReader::Fault::Unreadable ? TransferStatus::FileFailed
                                                                             : TransferStatus::Refused,
                    path + L": " + Utf8ToWide(reader.GetError()));
}

// The file's frame and checksum, read through once before its content is looked at: a file damaged anywhere
// is refused as such, not for the first model part the damage happens to spoil.
bool CheckContainerFrame(const std::wstring& path, CRun& run) {
    CContainerReader reader;
    if (!OpenContainer(reader, path, run))
        return false;
    uint32_t type = 0;
    std::string payload;
    while (reader.Next(type, payload)) {
    }
    if (reader.AtEnd())
        return true;
    return run.Fail(reader.GetFault() == CContainerReader::Fault::Unreadable ? TransferStatus::FileFailed
                                                                             : TransferStatus::Refused,
                    path + L": " + Utf8ToWide(reader.GetError()));
}

// ---- adding models to a store ----

// What the target holds when its import transaction begins.
struct CTargetState {
    std::set<int> m_used;                       // identifiers in use (models, drafts, revisions, mappings)
    std::map<int, std::wstring> m_catalogue;    // identifier -> name
    std::multimap<std::wstring, int> m_names;   // name -> identifier
    std::vector<CModelOrigin> m_origins;

    bool Read(CTemplateStore& target, CRun& run) {
        std::vector<CModelCatalogEntry> entries;
        if (!target.ReadUsedModelIDs(m_used) || !target.ListModels(entries) || !target.ReadModelOrigins(m_origins))
            return run.FailStore(target, L"the target's catalogue cannot be read");
        for (const CModelCatalogEntry& e : entries) {
            m_catalogue[e.m_nID] = e.m_strName;
            m_names.emplace(e.m_strName, e.m_nID);
        }
        return true;
    }
};

enum class PlanKind { Add, Skip, Refuse, Failed };

// Whether adding models failed because of what a station did meanwhile, so that it may succeed when made
// again: an identifier taken or an image removed (`Conflict`), or the server ending the transaction to
// resolve a deadlock with a station saving under the identifier chosen (`Busy`).
bool IsWorthAnotherTry(const CTransferResult& result) {
    return result.m_nStatus == TransferStatus::StoreFailed &&
           (result.m_nStoreFailure == StoreFailure::Conflict || result.m_nStoreFailure == StoreFailure::Busy);
}

// Decides how the model is added: skipped when the target holds this very version already (copied or
// imported before), refused when its name is taken and no new one is given, else under its own identifier
// where that is free.
PlanKind PlanAdd(CTemplateStore& target, CTargetState& state, const CModelHead& head, const CImportOptions& options,
                 bool import, const std::set<int>& reserved, CAddPlan& plan, CTransferOutcome& outcome, CRun& run) {
    outcome = CTransferOutcome();
    outcome.m_nSourceID = head.m_nSourceID;
    outcome.m_strName = head.m_model.m_strName;
    outcome.m_nRevisions = head.m_nRevisions;
    outcome.m_nImages = static_cast<int64_t>(head.m_images.size());
    const std::wstring label = head.Label();
    for (const CModelOrigin& o : state.m_origins) {
        if (o.m_nSourceID != head.m_nSourceID || o.m_strSourceHead != head.m_strHead ||
            !state.m_catalogue.count(o.m_nModelID))
            continue;
        // The model there must still be the one the origin names (a model deleted by an older program and its
        // identifier taken again is not).
        if (o.m_nHeadNumber > 0) {
            std::string hash;
            if (!target.ReadRevisionHash(o.m_nModelID, o.m_nHeadNumber, hash)) {
                run.FailStore(target, L"the target's history cannot be read");
                return PlanKind::Failed;
            }
            if (hash != o.m_strTargetHead)
                continue;
        }
        outcome.m_nTargetID = o.m_nModelID;
        outcome.m_strTargetName = state.m_catalogue[o.m_nModelID];
        const std::wstring met = ModelLabel(o.m_nModelID, outcome.m_strTargetName) + L" (" + o.m_strHow + L", " +
                                 StoreTimeAsLocal(o.m_strAddedAt) + L")";
        if (!import) {
            outcome.m_nKind = CTransferOutcome::Skipped;
            outcome.m_strText = L"copied already as " + met;
            return PlanKind::Skip;
        }
        if (options.m_strRename.empty()) {
            outcome.m_nKind = CTransferOutcome::Refused;
            outcome.m_strText = label + L": the store holds this model already, as " + met +
                                L"; --rename NEWNAME adds it once more";
            return PlanKind::Refuse;
        }
        break;
    }
    std::wstring name = head.m_model.m_strName;
    if (!options.m_strRename.empty()) {
        name = options.m_strRename;
    } else if (auto taken = state.m_names.find(name); taken != state.m_names.end()) {
        if (options.m_strSuffix.empty()) {
            outcome.m_nKind = CTransferOutcome::Refused;
            outcome.m_strText = label + L": the store holds a model named " + Quoted(name) + L" already (model " +
                                std::to_wstring(taken->second) + L"); give " +
                                (import ? L"--rename NEWNAME or --suffix TEXT" : L"--suffix TEXT") +
                                L" to add it under another name";
            return PlanKind::Refuse;
        }
        name += options.m_strSuffix;
    }
    if (name != head.m_model.m_strName || !options.m_strRename.empty()) {
        if (auto taken = state.m_names.find(name); taken != state.m_names.end()) {
            outcome.m_nKind = CTransferOutcome::Refused;
            outcome.m_strText = label + L": the name " + Quoted(name) + L" is taken as well (model " +
                                std::to_wstring(taken->second) + L")";
            return PlanKind::Refuse;
        }
    }
    int id = head.m_nSourceID;
    if (id < 1 || state.m_used.count(id)) {
        // Past every identifier in use and every one the other models of this run would keep, so that a
        // model remapped does not take the place of one that comes later.
        int64_t next = state.m_used.empty() ? 1 : static_cast<int64_t>(*state.m_used.rbegin()) + 1;
        if (!reserved.empty())
            next = std::max<int64_t>(next, static_cast<int64_t>(*reserved.rbegin()) + 1);
        if (next > INT_MAX) {
            outcome.m_nKind = CTransferOutcome::Refused;
            outcome.m_strText = label + L": the target has no free model identifier left";
            return PlanKind::Refuse;
        }
        id = static_cast<int>(std::max<int64_t>(next, 1));
    }
    state.m_used.insert(id);
    plan.m_nID = id;
    plan.m_strName = name;
    plan.m_bRecordOrigin = true;
    outcome.m_nKind = CTransferOutcome::Added;
    outcome.m_nTargetID = id;
    outcome.m_strTargetName = name;
    return PlanKind::Add;
}

} // namespace

// ---- the operations ----

std::string ModelHeadMark(const std::string& newestHash, const std::wstring& name, const std::wstring& title,
                          const std::string& data) {
    if (!newestHash.empty())
        return newestHash;
    CSha256 sha;
    const std::string n = WideToUtf8(name), t = WideToUtf8(title);
    sha.Update(n);
    sha.Update(std::string_view("\0", 1));
    sha.Update(t);
    sha.Update(std::string_view("\0", 1));
    sha.Update(data);
    return "data:" + sha.FinishHex();
}

std::wstring StoreIdentity(const CTemplateStore& store) {
    if (store.IsOnServer())
        return store.GetShownAddress();
    std::error_code ec;
    const fs::path path = fs::weakly_canonical(fs::absolute(fs::u8path(WideToUtf8(store.GetPath())), ec), ec);
    return ec ? store.GetPath() : Utf8ToWide(path.string());
}

std::wstring DescribeRevisionFault(const CRevisionFault& fault) {
    const std::wstring n = L"revision " + std::to_wstring(fault.m_nNumber) + L": ";
    switch (fault.m_nKind) {
    case CRevisionFault::Bytes:
        return n + L"its bytes are not the ones saved (or cannot be rebuilt from what is stored)";
    case CRevisionFault::Record:
        return n + L"its record (time, station, user, summary) or its hashes were changed";
    case CRevisionFault::Order:
        return n + L"it does not follow the revision before it (revisions removed, inserted or reordered)";
    case CRevisionFault::Dependent:
        return n + L"stored as a difference from a revision whose bytes are wrong: it cannot be checked";
    case CRevisionFault::Current:
        return L"its data is not what its newest revision (" + std::to_wstring(fault.m_nNumber) +
               L") saved: written outside the program";
    }
    return n + fault.m_strText;
}

CTransferResult ExportModel(CTemplateStore& store, int id, const std::wstring& path, const TransferProgress& progress) {
    CTransferResult result;
    CRun run(result, progress);
    if (IsStoreFile(store, path)) {
        run.Decline(path + L" is the store itself");
        return result;
    }
    if (!store.BeginSnapshot()) {
        run.FailStore(store, L"the store cannot be read");
        return result;
    }
    CModelHead head;
    std::vector<CStoredRevision> records;
    CContainerWriter writer;
    bool ok = ReadStoreModelHead(store, id, head, records, run);
    if (ok && !writer.Open(path))
        ok = run.Fail(TransferStatus::FileFailed, Utf8ToWide(writer.GetError()));
    if (ok) {
        CContainerPayload p;
        p.PutText(StoreIdentity(store));
        p.PutText(L"zrk-store");
        p.PutText(NowUtc());
        p.PutText(CTemplateStore::GetStationName());
        p.PutU32(1);
        if (!writer.Write(StoreContainerSection::kHeader, p))
            ok = run.Fail(TransferStatus::FileFailed, Utf8ToWide(writer.GetError()));
    }
    run.Now().m_szStage = L"models";
    run.Now().m_nTotal = 1;
    CContainerSink file(writer, run);
    CCheckingSink check(file, run);
    ok = ok && SendStoreModel(store, head, records, check, run);
    // The snapshot must have held to the end: otherwise the parts may come from different versions.
    if (!store.EndSnapshot() && ok)
        ok = run.FailStore(store, L"the store cannot be read");
    if (ok && !writer.Finish())
        ok = run.Fail(TransferStatus::FileFailed, Utf8ToWide(writer.GetError()));
    if (!ok) {
        writer.Abandon();
        return result;
    }
    CTransferOutcome outcome;
    outcome.m_nSourceID = id;
    outcome.m_strName = head.m_model.m_strName;
    outcome.m_strTargetName = head.m_model.m_strName;
    outcome.m_nRevisions = head.m_nRevisions;
    outcome.m_nImages = static_cast<int64_t>(head.m_images.size());
    result.m_models.push_back(outcome);
    result.m_nBytes = writer.GetSize();
    return result;
}

CTransferResult CheckExportFile(const std::wstring& path, const TransferProgress& progress) {
    CTransferResult result;
    CRun run(result, progress);
    CContainerReader reader;
    CFileHeader header;
    std::vector<CModelHead> heads;
    CNullSink null;
    CCheckingSink check(null, run);
    if (!CheckContainerFrame(path, run) || !OpenContainer(reader, path, run) ||
        !SendContainer(reader, path, check, run, header, &heads))
        return result;
    for (const CModelHead& head : heads) {
        CTransferOutcome outcome;
        outcome.m_nSourceID = head.m_nSourceID;
        outcome.m_strName = head.m_model.m_strName;
        outcome.m_nRevisions = head.m_nRevisions;
        outcome.m_nImages = static_cast<int64_t>(head.m_images.size());
        result.m_models.push_back(outcome);
    }
    result.m_nBytes = reader.GetFileSize();
    return result;
}

namespace {

// The import's transaction: the models of the file (read and checked before) planned and added.
void AddFileModels(CTemplateStore& store, const std::wstring& path, const CImportOptions& options,
                   const CFileHeader& header, const std::vector<CModelHead>& heads, CTransferResult& result, CRun& run) {
    if (!store.BeginImport()) {
        run.FailStore(store, L"the store cannot take the models");
        return;
    }
    struct Rollback {
        CTemplateStore& store;
        bool committed = false;
        ~Rollback() {
            if (!committed)
                store.RollbackImport();
        }
    } rollback{store};
    CTargetState state;
    if (!state.Read(store, run))
        return;
    std::set<int> reserved;
    for (const CModelHead& head : heads)
        reserved.insert(head.m_nSourceID);
    std::vector<CAddPlan> plans;
    for (const CModelHead& head : heads) {
        CAddPlan plan;
        CTransferOutcome outcome;
        switch (PlanAdd(store, state, head, options, true, reserved, plan, outcome, run)) {
        case PlanKind::Add:
            plans.push_back(plan);
            break;
        case PlanKind::Failed:
            return;
        default:
            result.m_models.push_back(outcome);
            run.Decline(outcome.m_strText);
            return;
        }
    }
    {
        CContainerReader reader;
        CFileHeader again;
        CStoreSink sink(store, run, plans, true, header.m_strSource, L"import");
        CCheckingSink check(sink, run);
        if (!OpenContainer(reader, path, run) || !SendContainer(reader, path, check, run, again, nullptr))
            return;
        result.m_models = sink.Outcomes();
    }
    if (!store.CommitImport()) {
        run.FailStore(store, L"the models cannot be added");
        result.m_models.clear();
        return;
    }
    rollback.committed = true;
    return;
}

} // namespace

CTransferResult ImportFile(CTemplateStore& store, const std::wstring& path, const CImportOptions& options,
                           const TransferProgress& progress) {
    CTransferResult result;
    CRun run(result, progress);
    // The whole file is read and checked before anything is written.
    CFileHeader header;
    std::vector<CModelHead> heads;
    {
        CContainerReader reader;
        CNullSink null;
        CCheckingSink check(null, run);
        if (!CheckContainerFrame(path, run) || !OpenContainer(reader, path, run) ||
            !SendContainer(reader, path, check, run, header, &heads))
            return result;
    }
    if (!options.m_strRename.empty() && heads.size() != 1) {
        run.Decline(L"--rename names one model, and " + path + L" holds " + std::to_wstring(heads.size()) +
                   L": give --suffix TEXT instead");
        return result;
    }
    // A station may take an identifier chosen, or remove an image relied on, while the models are written (a
    // server store locks its catalogue only at the end): the import is then made again.
    for (int attempt = 0;; ++attempt) {
        CTransferResult once;
        CRun onceRun(once, progress);
        AddFileModels(store, path, options, header, heads, once, onceRun);
        if (attempt < 2 && IsWorthAnotherTry(once))
            continue;
        once.m_nBytes = result.m_nBytes;
        return once;
    }
}

CTransferResult CopyModels(CTemplateStore& source, CTemplateStore& target, const std::vector<int>& ids,
                           const CImportOptions& options, const TransferProgress& progress) {
    CTransferResult result;
    CRun run(result, progress);
    const std::wstring identity = StoreIdentity(source);
    if (identity == StoreIdentity(target)) {
        run.Decline(L"the target is the source store itself: " + identity);
        return result;
    }
    std::vector<CModelSummary> all;
    if (!source.ListModelSummaries(0, all)) {
        run.FailStore(source, L"the source's catalogue cannot be read");
        return result;
    }
    std::vector<int> chosen;
    if (ids.empty()) {
        for (const CModelSummary& m : all)
            chosen.push_back(m.m_nID);
    } else {
        chosen = ids;
    }
    const std::set<int> reserved(chosen.begin(), chosen.end());
    CImportOptions copyOptions = options;
    copyOptions.m_strRename.clear();
    size_t refused = 0;
    CTransferProgress& now = run.Now();
    now.m_szStage = L"models";
    now.m_nTotal = static_cast<int64_t>(chosen.size());
    // One model: one snapshot of the source, one transaction of the target. Its outcome when it was added,
    // skipped or refused (`one` done or refused); nothing when `one` failed.
    const auto copyOne = [&](int id, CTransferResult& one) -> std::optional<CTransferOutcome> {
        CRun modelRun(one, progress);
        modelRun.Now() = now;
        if (!source.BeginSnapshot()) {
            modelRun.FailStore(source, L"the source cannot be read");
            return std::nullopt;
        }
        std::optional<CTransferOutcome> outcome;
        CModelHead head;
        std::vector<CStoredRevision> records;
        if (ReadStoreModelHead(source, id, head, records, modelRun)) {
            modelRun.Now().m_strItem = head.m_model.m_strName;
            if (!target.BeginImport()) {
                modelRun.FailStore(target, L"the target cannot take the model");
            } else {
                CTargetState state;
                CAddPlan plan;
                CTransferOutcome decided;
                bool added = false;
                if (state.Read(target, modelRun)) {
                    switch (PlanAdd(target, state, head, copyOptions, false, reserved, plan, decided, modelRun)) {
                    case PlanKind::Add: {
                        CStoreSink sink(target, modelRun, {plan}, true, identity, L"copy");
                        CCheckingSink check(sink, modelRun);
                        if (SendStoreModel(source, head, records, check, modelRun)) {
                            decided = sink.Outcomes().front();
                            added = true;
                        }
                        break;
                    }
                    case PlanKind::Skip:
                    case PlanKind::Refuse:
                        outcome = decided;
                        break;
                    case PlanKind::Failed:
                        break;
                    }
                }
                // The source's snapshot must have held for what was read to be one version of the model.
                if (!source.EndSnapshot() && !modelRun.Failed())
                    modelRun.FailStore(source, L"the source cannot be read");
                if (added && !modelRun.Failed()) {
                    if (target.CommitImport())
                        outcome = decided;
                    else
                        modelRun.FailStore(target, L"the model cannot be added");
                } else {
                    target.RollbackImport();
                }
            }
        }
        source.EndSnapshot();  // nothing when it ended above
        if (one.m_nStatus == TransferStatus::Refused) {
            // This model is refused (a damaged history or image, gone from the source); the others go on.
            CTransferOutcome why;
            why.m_nKind = CTransferOutcome::Refused;
            why.m_nSourceID = id;
            why.m_strName = head.m_model.m_strName;
            why.m_strText = one.m_strError;
            return why;
        }
        return one.Ok() ? outcome : std::nullopt;
    };
    for (size_t k = 0; k < chosen.size(); ++k) {
        now.m_nDone = static_cast<int64_t>(k);
        now.m_strItem.clear();
        now.m_nRevisions = now.m_nRevisionTotal = 0;
        if (!run.Report())
            return result;
        CTransferResult one;
        std::optional<CTransferOutcome> outcome;
        // A station may take the identifier chosen, or remove an image relied on, while the model is written
        // (a server store locks its catalogue only at the end): the model is then copied again.
        for (int attempt = 0; attempt < 3; ++attempt) {
            one = CTransferResult();
            outcome = copyOne(chosen[k], one);
            if (!IsWorthAnotherTry(one))
                break;
        }
        if (!outcome) {
            run.Fail(one.m_nStatus, one.m_strError, one.m_nStoreFailure);
            return result;
        }
        refused += outcome->m_nKind == CTransferOutcome::Refused;
        result.m_models.push_back(*outcome);
    }
    now.m_nDone = now.m_nTotal;
    if (refused > 0)
        run.Decline(std::to_wstring(refused) + (refused == 1 ? L" model was refused" : L" models were refused"));
    return result;
}

CVerifyReport VerifyStore(CTemplateStore& store, const TransferProgress& progress) {
    CVerifyReport report;
    const auto failStore = [&](const std::wstring& what) {
        report.m_nStatus = TransferStatus::StoreFailed;
        report.m_nStoreFailure = store.GetLastFailure() == StoreFailure::None ? StoreFailure::Other : store.GetLastFailure();
        report.m_strError = what + L": " + store.GetLastError();
        return report;
    };
    // What could not be read because it is damaged is a finding; the check goes on with the rest.
    const auto damaged = [&](const std::wstring& what) {
        if (store.GetLastFailure() != StoreFailure::Damaged)
            return false;
        report.m_faults.push_back(what + L": " + store.GetLastError());
        return true;
    };
    CTransferProgress now;
    const auto tick = [&]() {
        if (progress && !progress(now)) {
            report.m_nStatus = TransferStatus::Stopped;
            report.m_strError = L"stopped before the end";
            return false;
        }
        return true;
    };
    std::vector<std::wstring> structure;
    if (!store.CheckStoreStructure(structure) && !damaged(L"store: the store cannot be checked"))
        return failStore(L"the store cannot be checked");
    for (const std::wstring& fault : structure)
        report.m_faults.push_back(L"store: " + fault);
    std::vector<CModelSummary> models;
    if (!store.ListModelSummaries(0, models)) {
        if (damaged(L"store: the catalogue cannot be read"))
            return report;
        return failStore(L"the catalogue cannot be read");
    }
    std::map<std::string, std::wstring> usedBy;  // image hash -> the first model and path that map it
    now.m_szStage = L"models";
    now.m_nTotal = static_cast<int64_t>(models.size());
    for (size_t k = 0; k < models.size(); ++k) {
        const CModelSummary& m = models[k];
        const std::wstring label = ModelLabel(m.m_nID, m.m_strName);
        now.m_nDone = static_cast<int64_t>(k);
        now.m_strItem = m.m_strName;
        now.m_nRevisions = 0;
        now.m_nRevisionTotal = m.m_nRevisions;
        if (!tick())
            return report;
        ++report.m_nModels;
        CStoredModel stored;
        bool dataFault = false; // told already: the chain's check would name it again
        if (!store.ReadStoredModel(m.m_nID, stored)) {
            dataFault = true;
            if (!damaged(label + L": its data cannot be read"))
                return failStore(label + L" cannot be read");
        } else if (stored.m_bExists && stored.m_bHasData && Crc32(stored.m_data) != stored.m_nCrc) {
            dataFault = true;
            report.m_faults.push_back(label + L": its data does not match its checksum (CRC-32)");
        }
        std::vector<CStoredImage> images;
        if (!store.LoadModelImages(m.m_nID, images) && !damaged(label + L": its images cannot be read"))
            return failStore(label + L": its images cannot be read");
        for (const CStoredImage& image : images)
            usedBy.emplace(image.m_strHash, label + L", " + image.m_strPath);
        if (m.m_nRevisions > 0) {
            std::vector<CRevisionFault> faults;
            if (!store.CheckRevisionChain(m.m_nID, faults) && !damaged(label + L": its history cannot be read"))
                return failStore(label + L": its history cannot be read");
            for (const CRevisionFault& fault : faults)
                if (!(dataFault && fault.m_nKind == CRevisionFault::Current))
                    report.m_faults.push_back(label + L": " + DescribeRevisionFault(fault));
            report.m_nRevisions += m.m_nRevisions;
        }
    }
    std::vector<CStoredImage> images;
    if (!store.ListStoredImages(images)) {
        if (damaged(L"store: the images cannot be listed"))
            return report;
        return failStore(L"the images cannot be read");
    }
    now.m_szStage = L"images";
    now.m_nTotal = static_cast<int64_t>(images.size());
    now.m_strItem.clear();
    now.m_nRevisions = now.m_nRevisionTotal = 0;
    for (size_t k = 0; k < images.size(); ++k) {
        const CStoredImage& image = images[k];
        now.m_nDone = static_cast<int64_t>(k);
        if (!tick())
            return report;
        const auto user = usedBy.find(image.m_strHash);
        const std::wstring label = L"image " + Utf8ToWide(image.m_strHash) +
                                   (user != usedBy.end() ? L" (" + user->second + L")" : std::wstring());
        std::string bytes;
        bool found = false;
        if (!store.LoadImageBytes(image.m_strHash, bytes, found)) {
            if (damaged(label + L": its bytes cannot be read"))
                continue;
            return failStore(L"image " + Utf8ToWide(image.m_strHash) + L" cannot be read");
        }
        if (!found)
            continue;  // removed meanwhile, as no model used it any more
        ++report.m_nImages;
        if (Sha256Hex(bytes) != image.m_strHash)
            report.m_faults.push_back(label + L": its bytes do not match its hash (SHA-256): damaged");
        else if (static_cast<int64_t>(bytes.size()) != image.m_nSize)
            report.m_faults.push_back(label + L": its recorded size " + std::to_wstring(image.m_nSize) +
                                      L" is not its length " + std::to_wstring(bytes.size()));
    }
    now.m_nDone = now.m_nTotal;
    tick();
    return report;
}

bool CheckSqliteFile(const std::wstring& path, std::vector<std::wstring>& faults, std::wstring& error) {
    faults.clear();
    sqlite3* db = nullptr;
    const std::string utf8 = WideToUtf8(path);
    if (sqlite3_open_v2(utf8.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        error = Utf8ToWide(db ? sqlite3_errmsg(db) : "cannot be opened");
        sqlite3_close(db);
        return false;
    }
    sqlite3_stmt* st = nullptr;
    bool ok = sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &st, nullptr) == SQLITE_OK;
    int rc = SQLITE_DONE;
    while (ok && (rc = sqlite3_step(st)) == SQLITE_ROW) {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(st, 0));
        if (!text || std::string_view(text) == "ok")
            continue;
        // A row may hold several lines ("*** in database main ***" and the pages below it).
        std::string_view rest(text);
        while (!rest.empty()) {
            const size_t end = std::min(rest.find('\n'), rest.size());
            if (end > 0)
                faults.push_back(L"integrity_check: " + Utf8ToWide(std::string(rest.substr(0, end))));
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    }
    if (ok && (rc == SQLITE_CORRUPT || rc == SQLITE_NOTADB)) {
        faults.push_back(L"integrity_check: " + Utf8ToWide(sqlite3_errmsg(db)));
        rc = SQLITE_DONE;
    }
    if (!ok || rc != SQLITE_DONE)
        error = Utf8ToWide(sqlite3_errmsg(db));
    sqlite3_finalize(st);
    sqlite3_close(db);
    return ok && rc == SQLITE_DONE;
}

CTransferResult BackupStore(CTemplateStore& store, const std::wstring& path, const TransferProgress& progress) {
    CTransferResult result;
    CRun run(result, progress);
    if (IsStoreFile(store, path)) {
        run.Decline(path + L" is the store itself");
        return result;
    }
    const std::string target = WideToUtf8(path);
    std::error_code ec;
    if (target.empty() || fs::is_directory(fs::u8path(target), ec)) {
        run.Fail(TransferStatus::FileFailed, path + L": is a folder, not a file name");
        return result;
    }
    const fs::path folder = fs::absolute(fs::u8path(target), ec).parent_path();
    if (!fs::is_directory(folder, ec)) {
        run.Fail(TransferStatus::FileFailed, path + L": its folder does not exist");
        return result;
    }
    const std::string temp = TemporaryBeside(target);
    const auto abandon = [&](bool) {
        RemoveStoreFile(temp);
        return result;
    };
    CTransferProgress& now = run.Now();
    if (!store.IsOnServer()) {
        // The file itself, page by page, in one read transaction of SQLite's.
        uint64_t total = 0;
        for (const char* suffix : {"", "-wal"}) {
            const auto size = fs::file_size(fs::u8path(WideToUtf8(store.GetPath()) + suffix), ec);
            if (!ec)
                total += size;
        }
        now.m_szStage = L"file";
        now.m_nTotal = static_cast<int64_t>(total);
        const auto tick = [&]() {
            std::error_code sizeError;
            const auto size = fs::file_size(fs::u8path(temp), sizeError);
            now.m_nDone = sizeError ? 0 : static_cast<int64_t>(std::min<uint64_t>(size, total));
            return run.Report();
        };
        if (!tick())
            return abandon(false);
        if (!store.BackupToFile(Utf8ToWide(temp), tick)) {
            if (!run.Failed())
                run.FailStore(store, L"the store cannot be backed up");
            return abandon(false);
        }
        std::vector<std::wstring> faults;
        std::wstring error;
        if (!CheckSqliteFile(Utf8ToWide(temp), faults, error) || !faults.empty()) {
            run.Fail(TransferStatus::FileFailed,
                     path + L": the copy does not read back whole (" + (error.empty() ? faults.front() : error) + L")");
            return abandon(false);
        }
    } else {
        // Every model as stored, read in one snapshot of the server, into a new store file.
        CTemplateStore copy;
        if (!copy.Open(Utf8ToWide(temp))) {
            run.Fail(TransferStatus::FileFailed, path + L": cannot be written (" + copy.GetLastError() + L")");
            copy.Close();
            return abandon(false);
        }
        if (!store.BeginSnapshot()) {
            run.FailStore(store, L"the store cannot be read");
            copy.Close();
            return abandon(false);
        }
        bool ok = true;
        std::map<std::wstring, std::wstring> values;
        std::vector<CModelSummary> models;
        std::vector<CModelOrigin> origins;
        if (!store.LoadSystemValues(values) || !store.ListModelSummaries(0, models) || !store.ReadModelOrigins(origins))
            ok = run.FailStore(store, L"the store cannot be read");
        if (ok && !copy.SaveSystemValues(values))
            ok = run.Fail(TransferStatus::FileFailed, path + L": cannot be written (" + copy.GetLastError() + L")");
        if (ok && !copy.BeginImport())
            ok = run.Fail(TransferStatus::FileFailed, path + L": cannot be written (" + copy.GetLastError() + L")");
        std::vector<CAddPlan> plans;
        for (const CModelSummary& m : models)
            plans.push_back({m.m_nID, m.m_strName, false});
        CStoreSink sink(copy, run, plans, false, std::wstring(), L"backup");
        now.m_szStage = L"models";
        now.m_nTotal = static_cast<int64_t>(models.size());
        for (size_t k = 0; ok && k < models.size(); ++k) {
            now.m_nDone = static_cast<int64_t>(k);
            CModelHead head;
            std::vector<CStoredRevision> records;
            ok = ReadStoreModelHead(store, models[k].m_nID, head, records, run) &&
                 SendStoreModel(store, head, records, sink, run);
        }
        for (size_t k = 0; ok && k < origins.size(); ++k)
            if (!copy.WriteModelOrigin(origins[k]))
                ok = run.Fail(TransferStatus::FileFailed, path + L": cannot be written (" + copy.GetLastError() + L")");
        if (!store.EndSnapshot() && ok)
            ok = run.FailStore(store, L"the store cannot be read");
        if (ok && !copy.CommitImport())
            ok = run.Fail(TransferStatus::FileFailed, path + L": cannot be written (" + copy.GetLastError() + L")");
        if (!ok)
            copy.RollbackImport();
        copy.Close();
        if (!ok)
            return abandon(false);
        now.m_nDone = now.m_nTotal;
        result.m_models = sink.Outcomes();
    }
    std::wstring error;
    if (!PutInPlace(temp, target, error)) {
        run.Fail(TransferStatus::FileFailed, error);
        return abandon(false);
    }
    result.m_nBytes = fs::file_size(fs::u8path(target), ec);
    return result;
}
