#pragma once
/// The host program's main window: it plays the inspection application. It owns the template catalogue
/// menu (new, open and copy a model of the template store: host callbacks 1 to 3), shows the name of the
/// model the editor loaded (callback 4), and opens the editor module on a model.

#include "datastruct/TemplateStore.h"

#include <QMainWindow>
#include <string>
#include <vector>

class QLabel;
class CZRKProManager;
class CZRKDlg;
class CHostCatalogue;

class CHostWindow : public QMainWindow {
    Q_OBJECT
public:
    CHostWindow();
    ~CHostWindow() override;

    /// Registers the callbacks and activates the start model in the editor: the profile's last model when
    /// the store holds it, otherwise the first model of the catalogue (the sample on a fresh deployment).
    /// False when the store has no model at all, cannot be read (told as such), or the model was not
    /// activated. `modelID`, when given (1 or more), is activated instead of the profile's choice.
    bool StartEditor(int modelID = -1);
    /// The editor window; null before the module made it.
    CZRKDlg* GetEditor() const;
    /// The model the editor starts on; -1 when the store holds none, or when its catalogue cannot be read
    /// (then `error`, when given, receives the store's reason; it is emptied otherwise).
    static int ChooseStartModel(std::wstring* error = nullptr);
    /// Reads the store's catalogue; false with the store's reason when it cannot be read (a file that is
    /// no template store, a damaged or newer one).
    static bool ReadCatalogue(std::vector<CModelCatalogEntry>& catalogue, std::wstring& error);
    /// Renders the editor on the start model, with the last selection restored, into a PNG file. Nobody
    /// answers offscreen: messages go to standard error and modal dialogs are cancelled.
    bool Screenshot(const QString& file);
    /// Opens the named dialog (see `DialogNamesHelp`) on the start model as its command would and paints
    /// it into a PNG file; false for an unknown name, nothing to open it on, or a file not written.
    bool ScreenshotDialog(const QString& what, const QString& file);
    static bool IsDialogName(const QString& what);
    /// One line per dialog name: the name and what it opens.
    static QString DialogNamesHelp();

    /// The callbacks the editor calls (a plain function has no context: they reach the one window).
    static int OnNewModel();
    static int OnOpenModel();
    static int OnCopyModel();
    static int OnModelLoaded(std::wstring name);

    /// Activates the model and shows the editor; false, and the current model kept, when the editor did not
    /// switch to it.
    bool ShowEditorOn(int modelID);

    const std::wstring& GetLoadedName() const { return m_strLoaded; }
    /// The model the host takes as loaded in the editor; -1 before the first activation.
    int GetCurrentModel() const { return m_nCurrentModel; }

private:
    void SetLoadedName(const std::wstring& name);

    CZRKProManager* m_pManager;
    QLabel* m_pLoaded = nullptr;
    std::wstring m_strLoaded;
    int m_nCurrentModel = -1;
    static CHostWindow* s_pInstance;

public:
    /// The catalogue shown in the window (kept current while other stations change the store).
    CHostCatalogue* GetCatalogue() const { return m_pCatalogue; }

private:
    // Says in the window when the model in the editor was deleted by another station (the editor keeps it).
    void ShowWhetherCurrentModelExists();
    CHostCatalogue* m_pCatalogue = nullptr;
};
