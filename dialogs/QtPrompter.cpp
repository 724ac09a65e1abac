#include "dialogs/QtPrompter.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace {

QWidget* ActiveParent() { return QApplication::activeWindow(); }

QString StartPath(const FileDialogRequest& request) {
    QString folder = QString::fromStdWString(request.folder);
    QString name = QString::fromStdWString(request.fileName);
    if (folder.isEmpty())
        return name;
    if (!folder.endsWith('/'))
        folder += '/';
    return folder + name;
}

} // namespace

QString ConvertFileFilter(const std::wstring& filter) {
    QStringList parts = QString::fromStdWString(filter).split('|');
    QStringList filters;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i].trimmed();
        QString patterns = parts[i + 1].trimmed();
        if (description.isEmpty() && patterns.isEmpty())
            break;  // the "||" that ends the list
        patterns.replace(';', ' ');
        if (!description.contains('(' + patterns + ')'))
            description += QStringLiteral(" (") + patterns + ')';
        filters << description;
    }
    return filters.join(QStringLiteral(";;"));
}

int CQtPrompter::MessageBox(const std::wstring& text, const std::wstring& caption, unsigned type) {
    QMessageBox box(ActiveParent());
    box.setText(QString::fromStdWString(text));
    box.setWindowTitle(QString::fromStdWString(caption));
    switch (type & MB_ICONMASK) {
    case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
    case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
    case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
    case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
    default: break;
    }
    QMessageBox::StandardButtons buttons;
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case MB_YESNOCANCEL: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case MB_YESNO: buttons = QMessageBox::Yes | QMessageBox::No; break;
    case MB_RETRYCANCEL: buttons = QMessageBox::Retry | QMessageBox::Cancel; break;
    default: buttons = QMessageBox::Ok; break;
    }
    box.setStandardButtons(buttons);
    switch (box.exec()) {
    case QMessageBox::Ok: return IDOK;
    case QMessageBox::Yes: return IDYES;
    case QMessageBox::No: return IDNO;
    case QMessageBox::Retry: return IDRETRY;
    case QMessageBox::Cancel: return IDCANCEL;
    default: return (type & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;  // closed by the window manager
    }
}

bool CQtPrompter::GetOpenFileNames(const FileDialogRequest& request, std::vector<std::wstring>& paths) {
    QString title = QString::fromStdWString(request.title);
    QString filter = ConvertFileFilter(request.filter);
    QStringList chosen;
    if (request.multiSelect)
        chosen = QFileDialog::getOpenFileNames(ActiveParent(), title, StartPath(request), filter);
    else if (QString one = QFileDialog::getOpenFileName(ActiveParent(), title, StartPath(request), filter);
             !one.isEmpty())
        chosen << one;
    paths.clear();
    for (const QString& path : chosen)
        paths.push_back(path.toStdWString());
    return !paths.empty();
}

bool CQtPrompter::GetSaveFileName(const FileDialogRequest& request, std::wstring& path) {
    QFileDialog dialog(ActiveParent(), QString::fromStdWString(request.title));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(ConvertFileFilter(request.filter));
    dialog.setDefaultSuffix(QString::fromStdWString(request.defaultExt));
    if (!request.folder.empty())
        dialog.setDirectory(QString::fromStdWString(request.folder));
    if (!request.fileName.empty())
        dialog.selectFile(QString::fromStdWString(request.fileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    path = dialog.selectedFiles().first().toStdWString();
    return true;
}

bool CQtPrompter::ChooseColor(COLORREF initial, COLORREF& chosen) {
    QColor color = QColorDialog::getColor(QColor(GetRValue(initial), GetGValue(initial), GetBValue(initial)),
                                          ActiveParent());
    if (!color.isValid())
        return false;
    chosen = RGB(color.red(), color.green(), color.blue());
    return true;
}
