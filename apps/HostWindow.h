#pragma once
/// The host program's main window: it plays the inspection application. It owns the template catalogue
/// menu (new, open and copy a model of the template store: host callbacks 1 to 3), shows the name of the
/// model the editor loaded (callback 4), and opens the editor module on a model.

#include <QMainWindow>
#include <string>

class QLabel;
class CZRKProManager;

class CHostWindow : public QMainWindow {
    Q_OBJECT
public:
    CHostWindow();
    ~CHostWindow() override;

    /// Registers the callbacks and activates the start model in the editor: the profile's last model when
    /// the store holds it, otherwise the first model of the catalogue (the sample on a fresh deployment).
    /// False when the store has no model at all.
    bool StartEditor();
    /// The model the editor starts on; -1 when the store holds none.
    static int ChooseStartModel();
    /// Renders the editor on the start model, with the last selection restored, into a PNG file. Nobody
    /// answers offscreen: messages go to standard error and modal dialogs are cancelled.
    bool Screenshot(const QString& file);

    /// The callbacks the editor calls (a plain function has no context: they reach the one window).
    static int OnNewModel();
    static int OnOpenModel();
    static int OnCopyModel();
    static int OnModelLoaded(std::wstring name);

    const std::wstring& GetLoadedName() const { return m_strLoaded; }

private:
    void ShowEditorOn(int modelID);
    void SetLoadedName(const std::wstring& name);

    CZRKProManager* m_pManager;
    QLabel* m_pLoaded = nullptr;
    std::wstring m_strLoaded;
    int m_nCurrentModel = -1;
    static CHostWindow* s_pInstance;
};
