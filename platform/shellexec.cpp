// Help and the shell (see shellexec.h).
#include "platform/shellexec.h"

#include "platform/dlg.h"
#include "platform/msgbox.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <algorithm>
#include <cctype>

namespace {

struct Shell {
    bool record_only = false;
    std::vector<ShellRequest> requests;
};

Shell& sh() {
    static Shell s;
    return s;
}

QString path_of(const char* text) {
    QString p = QString::fromUtf8(text ? text : "");
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

bool open_url(const std::string& kind, const QUrl& url) {
    sh().requests.push_back({kind, url.toString().toStdString()});
    if (sh().record_only) return true;
    return QDesktopServices::openUrl(url);
}

HINSTANCE result(INT_PTR v) {
    return reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(v));
}

bool is_program(const QFileInfo& fi) {
    static const char* const programs[] = {"exe",      "com",     "bat", "cmd", "sh",  "bash",
                                           "csh",      "py",      "pl",  "rb",  "run", "bin",
                                           "appimage", "desktop", "jar", "ps1", "vbs", "msi"};
    QString ext = fi.suffix().toLower();
    for (const char* p : programs)
        if (ext == QLatin1String(p)) return true;
    return fi.isFile() && fi.isExecutable();
}

} // namespace

BOOL WinHelp(HWND, const char* file, UINT command, ULONG_PTR data) {
    if (command == HELP_QUIT) {
        sh().requests.push_back({"help-quit", file ? file : ""});
        return TRUE; // the browser's pages stay as the user left them
    }
    QString p = path_of(file);
    if (p.isEmpty()) {
        ui_fail("WinHelp: no help file named");
        return FALSE;
    }
    QFileInfo hlp(p);
    QString stem = hlp.path() + QLatin1Char('/') + hlp.completeBaseName();
    QStringList candidates;
    if (command == HELP_CONTEXT)
        candidates << stem + QStringLiteral("/topic%1.html").arg(static_cast<qulonglong>(data));
    candidates << stem + QStringLiteral("/index.html") << stem + QStringLiteral(".html")
               << stem + QStringLiteral(".htm");
    for (const QString& c : candidates) {
        if (!QFileInfo(c).isFile()) continue;
        QUrl url = QUrl::fromLocalFile(QFileInfo(c).absoluteFilePath());
        if ((command == HELP_KEY || command == HELP_PARTIALKEY) && data)
            url.setFragment(QString::fromUtf8(reinterpret_cast<const char*>(data)));
        if (!open_url("help", url)) {
            ui_fail("WinHelp: the browser could not be started for " + c.toStdString());
            return FALSE;
        }
        return TRUE;
    }
    ui_fail("Help file " + p.toStdString() + " not found (looked for " +
            candidates.join(QStringLiteral(", ")).toStdString() + ")");
    return FALSE;
}

HINSTANCE ShellExecute(HWND owner, const char* verb, const char* file, const char* params,
                       const char* dir, int) {
    std::string v = verb ? verb : "open";
    std::transform(v.begin(), v.end(), v.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (v != "open" && v != "explore") {
        ui_fail("ShellExecute: the verb \"" + v + "\" is not supported");
        return result(SE_ERR_NOASSOC);
    }
    QString target = QString::fromUtf8(file ? file : "");
    if (target.isEmpty()) {
        ui_fail("ShellExecute: no file named");
        return result(SE_ERR_FNF);
    }
    QUrl url(target);
    QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http") || scheme == QLatin1String("https") ||
        scheme == QLatin1String("mailto") || scheme == QLatin1String("ftp")) {
        if (!open_url("url", url)) {
            ui_fail("ShellExecute: no browser could open " + target.toStdString());
            return result(SE_ERR_NOASSOC);
        }
        return result(42);
    }
    QString path = path_of(file);
    if (scheme == QLatin1String("file")) path = url.toLocalFile();
    if (QFileInfo(path).isRelative() && dir && *dir)
        path = QDir(path_of(dir)).absoluteFilePath(path);
    QFileInfo fi(path);
    if (!fi.exists()) {
        bool dir_missing = !QFileInfo(fi.path()).exists();
        ui_fail("ShellExecute: " + path.toStdString() + " not found");
        return result(dir_missing ? SE_ERR_PNF : SE_ERR_FNF);
    }
    if (!fi.isDir() && is_program(fi)) {
        // Never without asking: the user agrees to start the program.
        QString app = QCoreApplication::applicationName();
        std::string question = (app.isEmpty() ? std::string("The program") : app.toStdString()) +
                               " was asked to start the program\n" +
                               fi.absoluteFilePath().toStdString() +
                               (params && *params ? std::string("\nwith ") + params : "") +
                               "\n\nDo you want to start it?";
        if (MessageBox(owner, question.c_str(), "Start a program?",
                       MB_YESNO | MB_ICONEXCLAMATION | MB_DEFBUTTON2) != IDYES)
            return result(SE_ERR_ACCESSDENIED);
        sh().requests.push_back(
            {"program", fi.absoluteFilePath().toStdString() +
                            (params && *params ? std::string(" ") + params : "")});
        if (sh().record_only) return result(42);
        QStringList args = QProcess::splitCommand(QString::fromUtf8(params ? params : ""));
        if (!QProcess::startDetached(fi.absoluteFilePath(), args,
                                     dir && *dir ? path_of(dir) : fi.path())) {
            ui_fail("ShellExecute: " + fi.absoluteFilePath().toStdString() +
                    " could not be started");
            return result(SE_ERR_ACCESSDENIED);
        }
        return result(42);
    }
    if (!open_url("document", QUrl::fromLocalFile(fi.absoluteFilePath()))) {
        ui_fail("ShellExecute: no application opens " + fi.absoluteFilePath().toStdString());
        return result(SE_ERR_NOASSOC);
    }
    return result(42);
}

void shell_record_only(bool on) {
    sh().record_only = on;
}
const std::vector<ShellRequest>& shell_requests() {
    return sh().requests;
}
void shell_clear_requests() {
    sh().requests.clear();
}
