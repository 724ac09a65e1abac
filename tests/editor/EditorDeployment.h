#pragma once
// A temporary deployment for the editor's tests: the libraries of the build (linked, so that the very same
// files are loaded), the plug-in scripts the editor reads, a template store with sample models, and a
// camera image. ZRK_EXE_FOLDER points at it for the life of the object.

#include "testsupport/TempDir.h"

#include <memory>
#include <string>

class CTemplateStore;
struct CModelStamp;

class CModelInfo;

class EditorDeployment {
public:
    struct Options {
        bool dataLibrary = true;
        bool releaseLibrary = true;
        /// Copies the build's sample deployment (template store, images, scripts, language pack) instead
        /// of writing the test's own files.
        bool buildSample = false;
    };
    EditorDeployment() : EditorDeployment(Options{}) {}
    explicit EditorDeployment(Options options);
    ~EditorDeployment();

    const TempDir& Dir() const { return m_dir; }
    /// Writes a new sample model into the store and returns its identifier (see the .cpp for its content).
    int AddSampleModel(const std::wstring& name = L"样张", const std::wstring& title = L"样张模板");
    /// The sample model's content, not stored (identifier `id`), for activation by host objects.
    static std::unique_ptr<CModelInfo> MakeSampleModel(int id, const std::wstring& name, const std::wstring& title);
    /// The lines the release-model library recorded.
    std::string ReleasedTitles() const;

private:
    TempDir m_dir;
    std::unique_ptr<ScopedEnv> m_exe;
};

/// Removes every key of the profile's "ZRKDll" group.
void ClearProfile();

/// The draft the template store in force holds for the model; empty when there is none, and a text that
/// says so when the store cannot be read.
/// The template the model's draft in `store` stands for: its data with its records applied (the saved
/// version it names read from the deployment's store). `found` is false when there is none; false when the
/// draft cannot be read or put together.
bool ReadComposedDraft(CTemplateStore& store, int id, std::string& bytes, bool& found, CModelStamp* base = nullptr);
std::string StoredDraft(int id);
