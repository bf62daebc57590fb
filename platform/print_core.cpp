// Printing (see print.h): printer contexts over QPrinter, which writes PDF
// files itself and reaches the system's printers through Qt.
#include "platform/print.h"

#include "platform/controls.h"
#include "platform/dlg.h"
#include "platform/gdi_internal.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace {

struct Settings {
    short orientation = DMORIENT_PORTRAIT;
    short paper = DMPAPER_A4;
    short paper_length = 0; // 0.1 mm
    short paper_width = 0;
    short copies = 1;
    short color = DMCOLOR_COLOR;
};

enum class JobState { idle, document, page };

struct Job {
    HDC dc = nullptr;
    std::string device;
    Settings settings;
    bool info_only = false;
    std::unique_ptr<QPrinter> printer;
    QPainter painter;
    QImage scratch{1, 1, QImage::Format_RGB32};
    JobState state = JobState::idle;
    bool page_open_in_qt = false; // the printer's first page is open after begin()
    int pages = 0;
    ABORTPROC abort = nullptr;
    std::string output;  // the PDF the job makes
    std::string temp;    // where it is written until it is whole ("" writes to output)
    bool chosen = false; // output was the program's own choice: never replaces a file
};

struct Print {
    bool system_printers = true;
    std::string pdf_output;
    std::map<std::string, Settings> settings; // per printer
    std::vector<std::unique_ptr<Job>> jobs;
    int next_job = 1;
    std::map<HANDLE, std::string> open_printers;
    std::uintptr_t next_printer = 1;
};

// Never destroyed: the jobs hold Qt objects that must not outlive the Qt
// application, which is gone when static objects are destroyed.
Print& pr() {
    static Print* p = new Print;
    return *p;
}

// Jobs whose device context the program has deleted go away (their painter
// is no longer referenced by the drawing layer); an unfinished PDF goes too.
void sweep() {
    auto& jobs = pr().jobs;
    for (auto it = jobs.begin(); it != jobs.end();) {
        Job& j = **it;
        if (GetObjectType(static_cast<HGDIOBJ>(j.dc)) != 0) {
            ++it;
            continue;
        }
        if (j.painter.isActive()) j.painter.end();
        if (j.state != JobState::idle && !j.temp.empty()) ::unlink(j.temp.c_str());
        it = jobs.erase(it);
    }
}

Job* job_of(HDC dc) {
    sweep();
    for (auto& j : pr().jobs)
        if (j->dc == dc) return j.get();
    return nullptr;
}

bool known_printer(const std::string& name) {
    auto list = print_printers();
    return std::find(list.begin(), list.end(), name) != list.end();
}

Settings& settings_of(const std::string& name) {
    return pr().settings[name];
}

void merge(Settings& s, const DEVMODE* dm) {
    if (!dm) return;
    if ((dm->dmFields & DM_ORIENTATION) &&
        (dm->dmOrientation == DMORIENT_PORTRAIT || dm->dmOrientation == DMORIENT_LANDSCAPE))
        s.orientation = dm->dmOrientation;
    if (dm->dmFields & DM_PAPERSIZE) s.paper = dm->dmPaperSize;
    if ((dm->dmFields & DM_PAPERLENGTH) && dm->dmPaperLength > 0)
        s.paper_length = dm->dmPaperLength;
    if ((dm->dmFields & DM_PAPERWIDTH) && dm->dmPaperWidth > 0) s.paper_width = dm->dmPaperWidth;
    if ((dm->dmFields & DM_COPIES) && dm->dmCopies > 0)
        s.copies = std::min<short>(dm->dmCopies, 999);
    if (dm->dmFields & DM_COLOR) s.color = dm->dmColor;
}

void fill(DEVMODE& dm, const std::string& name, const Settings& s) {
    std::memset(&dm, 0, sizeof dm);
    std::snprintf(dm.dmDeviceName, sizeof dm.dmDeviceName, "%s", name.c_str());
    dm.dmSize = sizeof(DEVMODE);
    dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_COLOR;
    dm.dmOrientation = s.orientation;
    dm.dmPaperSize = s.paper;
    dm.dmPaperLength = s.paper_length;
    dm.dmPaperWidth = s.paper_width;
    dm.dmScale = 100;
    dm.dmCopies = s.copies;
    dm.dmColor = s.color;
}

QPageSize page_size(const Settings& s) {
    switch (s.paper) {
    case DMPAPER_LETTER:
        return QPageSize(QPageSize::Letter);
    case DMPAPER_LEGAL:
        return QPageSize(QPageSize::Legal);
    case DMPAPER_A3:
        return QPageSize(QPageSize::A3);
    case DMPAPER_A5:
        return QPageSize(QPageSize::A5);
    case 0:
        if (s.paper_length > 0 && s.paper_width > 0)
            return QPageSize(QSizeF(s.paper_width / 10.0, s.paper_length / 10.0),
                             QPageSize::Millimeter);
        return QPageSize(QPageSize::A4);
    default:
        return QPageSize(QPageSize::A4);
    }
}

void configure(Job& j) {
    QPrinter& p = *j.printer;
    p.setFullPage(true);
    p.setPageSize(page_size(j.settings));
    p.setPageOrientation(j.settings.orientation == DMORIENT_LANDSCAPE ? QPageLayout::Landscape
                                                                      : QPageLayout::Portrait);
    p.setPageMargins(QMarginsF(0, 0, 0, 0));
    p.setCopyCount(std::max<int>(j.settings.copies, 1));
    p.setColorMode(j.settings.color == DMCOLOR_MONOCHROME ? QPrinter::GrayScale : QPrinter::Color);
}

QSize page_pixels(Job& j) {
    QRect r = j.printer->pageLayout().fullRectPixels(j.printer->resolution());
    return r.size();
}

// True when anything at all has the name: a file, a folder, a FIFO, or a
// link, even one that leads nowhere.
bool name_taken(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 || errno != ENOENT;
}

// The folder and base name of the PDF printer's own file for a document.
void default_pdf_name(const char* doc, std::string& dir, std::string& base) {
    // The documents folder when the user has one; a fresh account often has
    // none, and printing must not fail for it: the home folder then.
    QString d = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (d.isEmpty() || !QFileInfo(d).isDir()) d = QDir::homePath();
    QString b = QString::fromUtf8(doc && *doc ? doc : "document");
    b.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|]")), QStringLiteral("_"));
    dir = d.toStdString();
    base = b.toStdString();
}

// The first free name of "base.pdf", "base (2).pdf" ... in dir; "" when
// every one up to the last number is taken.
constexpr int last_pdf_number = 9999;
std::string free_pdf_path(const std::string& dir, const std::string& base) {
    for (int n = 1; n <= last_pdf_number; ++n) {
        std::string path =
            dir + "/" + base + (n == 1 ? "" : " (" + std::to_string(n) + ")") + ".pdf";
        if (!name_taken(path)) return path;
    }
    return {};
}

// A new empty file of our own beside `path` (never an existing one, never
// through a link); "" with errno set when the folder will not take one.
std::string make_temp_beside(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = (dir.empty() ? std::string() : dir) + "/." + name + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) return {};
    // The document's permissions are those a new file gets (mkstemp's are
    // the owner's alone), or those of the file it replaces.
    struct stat st;
    mode_t mode;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(fd, mode);
    ::close(fd);
    return temp;
}

// A written PDF is whole when it ends with its end-of-file mark and is on
// the disk; else the reason, in the system's words where it gave one.
std::string check_whole_pdf(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    std::string why;
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        why = "not a regular file";
    } else if (::fsync(fd) != 0) {
        why = std::strerror(errno);
    } else {
        char tail[64] = {};
        const off_t at = st.st_size > 64 ? st.st_size - 64 : 0;
        const ssize_t n = ::pread(fd, tail, sizeof tail, at);
        const std::string end(tail, n > 0 ? static_cast<std::size_t>(n) : 0);
        if (st.st_size == 0 || end.find("%%EOF") == std::string::npos)
            why = "the file was cut short after " + std::to_string(st.st_size) + " bytes";
    }
    ::close(fd);
    return why;
}

void restart_scratch(Job& j) {
    if (j.painter.isActive()) j.painter.end();
    j.painter.begin(&j.scratch);
}

// Why a file cannot be written, in the system's words: a test write at its
// end (a regular file only), or opening it. "" when both go through.
std::string write_problem(const std::string& path) {
    const QFileInfo fi(QString::fromStdString(path));
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), fi.exists() ? "ab" : "wb");
    if (!f) return std::strerror(errno ? errno : EIO);
    static const char probe[4096] = {};
    errno = 0;
    const bool failed =
        std::fwrite(probe, 1, sizeof probe, f) != sizeof probe || std::fflush(f) != 0;
    const int e = errno;
    std::fclose(f);
    // Only a file of our own is cut back (a device such as /dev/full is left alone).
    if (fi.exists() ? fi.isFile() : true) {
        if (fi.exists())
            QFile(QString::fromStdString(path)).resize(fi.size());
        else
            QFile::remove(QString::fromStdString(path));
    }
    return failed ? std::strerror(e ? e : EIO) : std::string();
}

// Gives the whole document its name: a name the caller gave is replaced (a
// link there is replaced, never written through); a name of the program's
// own never replaces anything, the next free number is taken instead.
bool place_pdf(Job& j, std::string& why) {
    if (!j.chosen) {
        if (::rename(j.temp.c_str(), j.output.c_str()) != 0) {
            why = std::strerror(errno);
            return false;
        }
        j.temp.clear();
        return true;
    }
    const std::size_t slash = j.output.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : j.output.substr(0, slash);
    std::string dir, base;
    default_pdf_name(j.printer->docName().toUtf8().constData(), dir, base);
    for (int tries = 0; tries < 16; ++tries) {
        if (::renameat2(AT_FDCWD, j.temp.c_str(), AT_FDCWD, j.output.c_str(), RENAME_NOREPLACE) ==
            0) {
            j.temp.clear();
            return true;
        }
        if (errno != EEXIST) {
            why = std::strerror(errno);
            return false;
        }
        // Taken while the document was written: the next free number.
        std::string next = free_pdf_path(folder, base);
        if (next.empty()) break;
        j.output = next;
    }
    why = "every numbered name is taken";
    return false;
}

void finish_failed(Job& j) {
    if (j.painter.isActive()) j.painter.end();
    // Only the file the job made is removed: never what has the name.
    if (!j.temp.empty()) ::unlink(j.temp.c_str());
    j.temp.clear();
    j.state = JobState::idle;
    j.page_open_in_qt = false;
    restart_scratch(j);
}

// The printer setup dialog of DocumentProperties(DM_IN_PROMPT).
constexpr int id_portrait = 101, id_landscape = 102, id_paper = 103, id_copies = 104;

struct SetupData {
    Settings* s;
};

INT_PTR setup_proc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
    auto* d = reinterpret_cast<SetupData*>(GetWindowLongPtr(dlg, DWLP_USER));
    static const struct {
        const char* name;
        short id;
    } papers[] = {{"A4", DMPAPER_A4},
                  {"Letter", DMPAPER_LETTER},
                  {"Legal", DMPAPER_LEGAL},
                  {"A3", DMPAPER_A3},
                  {"A5", DMPAPER_A5}};
    switch (msg) {
    case WM_INITDIALOG: {
        SetWindowLongPtr(dlg, DWLP_USER, lp);
        d = reinterpret_cast<SetupData*>(lp);
        CheckRadioButton(dlg, id_portrait, id_landscape,
                         d->s->orientation == DMORIENT_LANDSCAPE ? id_landscape : id_portrait);
        for (const auto& p : papers) {
            auto i = SendDlgItemMessage(dlg, id_paper, CB_ADDSTRING, 0,
                                        reinterpret_cast<LPARAM>(p.name));
            if (p.id == d->s->paper)
                SendDlgItemMessage(dlg, id_paper, CB_SETCURSEL, static_cast<WPARAM>(i), 0);
        }
        SetDlgItemInt(dlg, id_copies, static_cast<UINT>(d->s->copies), FALSE);
        return TRUE;
    }
    case WM_COMMAND:
        if (LOWORD(wp) == IDOK) {
            BOOL ok = FALSE;
            UINT copies = GetDlgItemInt(dlg, id_copies, &ok, FALSE);
            if (!ok || copies < 1 || copies > 999) {
                MessageBeep(0);
                SetFocus(GetDlgItem(dlg, id_copies));
                return TRUE;
            }
            d->s->copies = static_cast<short>(copies);
            d->s->orientation =
                IsDlgButtonChecked(dlg, id_landscape) ? DMORIENT_LANDSCAPE : DMORIENT_PORTRAIT;
            auto sel = SendDlgItemMessage(dlg, id_paper, CB_GETCURSEL, 0, 0);
            if (sel >= 0 && sel < static_cast<LRESULT>(std::size(papers)))
                d->s->paper = papers[sel].id;
            EndDialog(dlg, IDOK);
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            EndDialog(dlg, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

// CreateDC / CreateIC for a printer: the device name from the profile
// strings ("PDF file", or a system printer), or the driver name when the
// device is left out and the driver names a printer.
HDC create_printer_dc(const char* driver, const char* device, const char*, const void* devmode,
                      bool info_only) {
    std::string name;
    if (device && *device)
        name = device;
    else if (driver && *driver && known_printer(driver))
        name = driver;
    if (name.empty()) {
        ui_fail(std::string("CreateDC: no printer named \"") + (driver ? driver : "") + "\"");
        return nullptr;
    }
    return print_create_dc(name.c_str(), static_cast<const DEVMODE*>(devmode), info_only);
}

// The drawing layer opens printers through this layer from the start, so
// the program can call CreateDC with the names it read from the profile.
struct InstallPrinterFactory {
    InstallPrinterFactory() { gdi_set_printer_dc_factory(create_printer_dc); }
};
[[maybe_unused]] const InstallPrinterFactory install_printer_factory;

} // namespace

std::vector<std::string> print_printers() {
    std::vector<std::string> v;
    if (pr().system_printers) {
        QString def = QPrinterInfo::defaultPrinterName();
        for (const QString& n : QPrinterInfo::availablePrinterNames()) {
            if (n == def)
                v.insert(v.begin(), n.toStdString());
            else
                v.push_back(n.toStdString());
        }
    }
    v.push_back(PDF_PRINTER_NAME);
    return v;
}

std::string print_default_printer() {
    return print_printers().front();
}

void print_use_system_printers(bool on) {
    pr().system_printers = on;
}

void print_set_pdf_output(const std::string& path) {
    pr().pdf_output = path;
}

DWORD GetProfileString(const char* section, const char* key, const char* fallback, char* buffer,
                       DWORD size) {
    if (!buffer || size == 0) return 0;
    std::string value = fallback ? fallback : "";
    std::string sec = section ? section : "";
    for (char& c : sec) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    bool list = false;
    if (sec == "windows" && key && std::strcmp(key, "device") == 0) {
        std::string d = print_default_printer();
        value = d + (d == PDF_PRINTER_NAME ? ",PDF,FILE:" : ",CUPS,CUPS:");
    } else if (sec == "printerports" || sec == "devices") {
        if (!key) {
            value.clear();
            for (const std::string& n : print_printers()) {
                value += n;
                value.push_back('\0');
            }
            list = true;
        } else if (known_printer(key)) {
            bool pdf = std::strcmp(key, PDF_PRINTER_NAME) == 0;
            value = pdf ? "PDF,FILE:" : "CUPS,CUPS:";
            if (sec == "printerports") value += ",15,45";
        }
    }
    std::size_t n = std::min<std::size_t>(value.size(), size - (list ? 2 : 1));
    std::memcpy(buffer, value.data(), n);
    buffer[n] = 0;
    if (list && size >= 2) buffer[n + 1] = 0;
    return static_cast<DWORD>(n);
}

BOOL OpenPrinter(const char* name, HANDLE* printer, const PRINTER_DEFAULTS* defaults) {
    if (!printer) return FALSE;
    *printer = nullptr;
    std::string n = name && *name ? name : print_default_printer();
    if (!known_printer(n)) {
        ui_fail("no printer named \"" + n + "\"");
        return FALSE;
    }
    HANDLE h = reinterpret_cast<HANDLE>(0x5000 + pr().next_printer++);
    pr().open_printers[h] = n;
    if (defaults && defaults->pDevMode) merge(settings_of(n), defaults->pDevMode);
    *printer = h;
    return TRUE;
}

BOOL ClosePrinter(HANDLE printer) {
    return pr().open_printers.erase(printer) ? TRUE : FALSE;
}

LONG DocumentProperties(HWND owner, HANDLE printer, const char* device, DEVMODE* out,
                        const DEVMODE* in, DWORD mode) {
    std::string name;
    auto it = pr().open_printers.find(printer);
    if (it != pr().open_printers.end())
        name = it->second;
    else if (device && known_printer(device))
        name = device;
    else {
        ui_fail("DocumentProperties: the printer is not open");
        return -1;
    }
    if (mode == 0) return static_cast<LONG>(sizeof(DEVMODE));
    Settings s = settings_of(name);
    if ((mode & DM_IN_BUFFER) && in) merge(s, in);
    LONG result = IDOK;
    if (mode & DM_IN_PROMPT) {
        DialogTemplate t;
        t.caption = "Printer Setup";
        t.style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER;
        t.cx = 180;
        t.cy = 100;
        constexpr DWORD vis = WS_CHILD | WS_VISIBLE;
        // The group box after the buttons it frames: an earlier sibling
        // would be drawn over them.
        t.items = {
            {WC_BUTTON, id_portrait, "&Portrait", vis | WS_GROUP | WS_TABSTOP | BS_AUTORADIOBUTTON,
             10, 15, 70, 10},
            {WC_BUTTON, id_landscape, "&Landscape", vis | BS_AUTORADIOBUTTON, 10, 28, 70, 10},
            {WC_BUTTON, IDC_STATIC, "Orientation", vis | BS_GROUPBOX, 5, 5, 80, 40},
            {WC_STATIC, IDC_STATIC, "Paper:", vis | WS_GROUP, 92, 8, 30, 10},
            {WC_COMBOBOX, id_paper, nullptr, vis | WS_TABSTOP | CBS_DROPDOWNLIST | WS_VSCROLL, 122,
             6, 50, 80},
            {WC_STATIC, IDC_STATIC, "Copies:", vis, 92, 28, 30, 10},
            {WC_EDIT, id_copies, nullptr, vis | WS_TABSTOP | WS_BORDER | ES_NUMBER, 122, 26, 30,
             12},
            {WC_BUTTON, IDOK, "OK", vis | WS_GROUP | WS_TABSTOP | BS_DEFPUSHBUTTON, 40, 78, 45, 14},
            {WC_BUTTON, IDCANCEL, "Cancel", vis | WS_TABSTOP, 95, 78, 45, 14},
        };
        SetupData data{&s};
        INT_PTR r =
            DialogBoxIndirectParam(nullptr, &t, owner, setup_proc, reinterpret_cast<LPARAM>(&data));
        if (r < 0) {
            ui_fail("Unable to load printer setup");
            return -1;
        }
        result = r == IDOK ? IDOK : IDCANCEL;
    }
    if (result == IDOK) {
        settings_of(name) = s; // the printer keeps the settings for later jobs
        if ((mode & DM_OUT_BUFFER) && out) fill(*out, name, s);
    }
    return result;
}

HDC print_create_dc(const char* device, const DEVMODE* devmode, bool info_only) {
    sweep();
    platform_ensure_application();
    std::string name = device && *device ? device : print_default_printer();
    if (!known_printer(name)) {
        ui_fail("no printer named \"" + name + "\"");
        return nullptr;
    }
    auto j = std::make_unique<Job>();
    j->device = name;
    j->settings = settings_of(name);
    merge(j->settings, devmode);
    j->info_only = info_only;
    bool pdf = name == PDF_PRINTER_NAME;
    if (pdf) {
        j->printer = std::make_unique<QPrinter>(QPrinter::ScreenResolution);
        j->printer->setOutputFormat(QPrinter::PdfFormat);
        j->printer->setResolution(300);
    } else {
        QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(name));
        if (info.isNull()) {
            ui_fail("the printer \"" + name + "\" is not available");
            return nullptr;
        }
        j->printer = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
    configure(*j);
    restart_scratch(*j);
    int dpi = j->printer->resolution();
    HDC dc = gdi_create_painter_dc(&j->painter, page_pixels(*j), dpi, dpi);
    if (!dc) {
        ui_fail("the printer context for \"" + name + "\" could not be made");
        return nullptr;
    }
    j->dc = dc;
    pr().jobs.push_back(std::move(j));
    return dc;
}

int SetAbortProc(HDC dc, ABORTPROC proc) {
    Job* j = job_of(dc);
    if (!j) return SP_ERROR;
    j->abort = proc;
    return 1;
}

int StartDoc(HDC dc, const DOCINFO* info) {
    Job* j = job_of(dc);
    if (!j || j->info_only) {
        ui_fail("StartDoc: not a printer context");
        return SP_ERROR;
    }
    if (j->state != JobState::idle) {
        ui_fail("StartDoc: a document is already being printed");
        return SP_ERROR;
    }
    const char* doc = info && info->lpszDocName ? info->lpszDocName : "document";
    j->printer->setDocName(QString::fromUtf8(doc));
    j->output.clear();
    j->temp.clear();
    j->chosen = false;
    if (j->device == PDF_PRINTER_NAME) {
        if (info && info->lpszOutput && *info->lpszOutput) {
            j->output = info->lpszOutput;
        } else if (!pr().pdf_output.empty()) {
            j->output = pr().pdf_output;
        } else {
            std::string dir, base;
            default_pdf_name(doc, dir, base);
            j->output = free_pdf_path(dir, base);
            j->chosen = true;
            if (j->output.empty()) {
                ui_fail("Unable to write the file " + dir + "/" + base +
                        ".pdf: every numbered name up to " + std::to_string(last_pdf_number) +
                        " is taken");
                return SP_ERROR;
            }
        }
        // A file named by the caller: written through its link where it is
        // one; a device such as /dev/null is written as it is; a FIFO, a
        // socket or a folder is never opened.
        std::string target = j->output;
        struct stat st;
        if (!j->chosen && ::stat(target.c_str(), &st) == 0) {
            if (S_ISCHR(st.st_mode)) {
                target.clear();
            } else if (!S_ISREG(st.st_mode)) {
                ui_fail("Unable to write the file " + j->output + ": not a regular file");
                j->output.clear();
                return SP_ERROR;
            } else if (char* real = ::realpath(j->output.c_str(), nullptr)) {
                target = real;
                std::free(real);
            }
        }
        // The document is written under a name of its own in the same folder
        // and takes its name only once it is whole: a cut or failed print
        // leaves nothing under the name.
        if (!target.empty()) {
            j->temp = make_temp_beside(target);
            if (j->temp.empty()) {
                ui_fail("Unable to write the file " + j->output + ": " + std::strerror(errno));
                j->output.clear();
                return SP_ERROR;
            }
            if (!j->chosen) j->output = target;
        }
        j->printer->setOutputFileName(
            QString::fromStdString(j->temp.empty() ? j->output : j->temp));
    } else if (info && info->lpszOutput && *info->lpszOutput) {
        j->printer->setOutputFileName(QString::fromUtf8(info->lpszOutput));
    }
    j->painter.end();
    if (!j->painter.begin(j->printer.get())) {
        std::string why = j->output.empty() ? std::string()
                                            : write_problem(j->temp.empty() ? j->output : j->temp);
        ui_fail(j->output.empty() ? "Unable to start the printer \"" + j->device + "\""
                                  : "Unable to write the file " + j->output +
                                        (why.empty() ? std::string() : ": " + why));
        finish_failed(*j);
        return SP_ERROR;
    }
    // Pictures (bitmaps, pattern and hatch tiles) go to the page as they are:
    // a lossy encoding would shift their colours and blur their edges.
    j->painter.setRenderHint(QPainter::LosslessImageRendering, true);
    j->state = JobState::document;
    j->page_open_in_qt = true;
    j->pages = 0;
    return pr().next_job++;
}

int StartPage(HDC dc) {
    Job* j = job_of(dc);
    if (!j || j->state != JobState::document) return SP_ERROR;
    if (!j->page_open_in_qt && !j->printer->newPage()) {
        ui_fail("StartPage: the printer refused a new page");
        finish_failed(*j);
        return SP_ERROR;
    }
    j->page_open_in_qt = false;
    j->state = JobState::page;
    return 1;
}

int EndPage(HDC dc) {
    Job* j = job_of(dc);
    if (!j || j->state != JobState::page) return SP_ERROR;
    j->state = JobState::document;
    ++j->pages;
    if (j->abort && !j->abort(dc, 0)) {
        j = job_of(dc);
        if (j) finish_failed(*j);
        return SP_APPABORT;
    }
    return 1;
}

int EndDoc(HDC dc) {
    Job* j = job_of(dc);
    if (!j || j->state == JobState::idle) return SP_ERROR;
    if (j->state == JobState::page) ++j->pages; // a page left open is ended
    if (j->pages == 0) {
        ui_fail("EndDoc: the document has no pages");
        j->printer->abort();
        finish_failed(*j);
        return SP_ERROR;
    }
    bool ok = j->painter.end();
    std::string why;
    if (!j->output.empty()) {
        const std::string& written = j->temp.empty() ? j->output : j->temp;
        if (!j->temp.empty()) why = check_whole_pdf(written);
        // A short write: the system's own reason, found by writing there again.
        if (j->temp.empty() || !why.empty() || !ok) {
            const std::string system = write_problem(written);
            if (!system.empty()) why = system;
        }
        if (why.empty() && ok && !j->temp.empty() && !place_pdf(*j, why)) ok = false;
    }
    if (!ok || !why.empty()) {
        if (why.empty() && !j->output.empty()) why = "the document could not be finished";
        ui_fail("Unable to write the file " + (j->output.empty() ? j->device : j->output) +
                (why.empty() ? std::string() : ": " + why));
        finish_failed(*j);
        return SP_ERROR;
    }
    j->state = JobState::idle;
    restart_scratch(*j);
    return 1;
}

int AbortDoc(HDC dc) {
    Job* j = job_of(dc);
    if (!j) return SP_ERROR;
    if (j->state != JobState::idle) {
        j->printer->abort();
        finish_failed(*j);
    }
    return 1;
}

std::string print_output_file(HDC dc) {
    Job* j = job_of(dc);
    return j ? j->output : std::string();
}

int print_page_count(HDC dc) {
    Job* j = job_of(dc);
    return j ? j->pages : 0;
}
