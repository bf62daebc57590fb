// File kinds, file names and paths.
#include "foundation/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/memory.h"

std::string model_dir;

namespace {

// ------------------------------------------------------- extension table ---

const char* const extension_table[fk_count] = {
    "kdf", "kmf", "kmt", "cin", "dat", "kgd", "kgf", "kts", "sts", "kpd", "prm", "kpm", "kpa",
    "wmf", "gtx", "tab", "txt", "csv", "xls", "wk1", "err", "ini", "",    "cmd", "emf", "pdf",
    "kcd", "kcf", "gin", "lst", "frm", "kdi", "kdo", "out", "ksc", "koc", "hlp", "tmp", "xlsx"};

bool is_sep(char c) {
    return c == '/' || c == '\\';
}

bool iequal(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) !=
            std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// ------------------------------------------------------------------ paths ---

std::string current_dir() {
    std::vector<char> buf(PATH_MAX + 1);
    if (!getcwd(buf.data(), buf.size())) return "/";
    return buf.data();
}

// Resolves "." and ".." and repeated separators in an absolute path.
std::string resolve_dots(const std::string& path) {
    std::vector<std::string> parts;
    std::size_t i = 0;
    while (i <= path.size()) {
        std::size_t j = path.find('/', i);
        if (j == std::string::npos) j = path.size();
        std::string part = path.substr(i, j - i);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        i = j + 1;
    }
    std::string out;
    for (const std::string& p : parts) {
        out += '/';
        out += p;
    }
    if (out.empty()) out.push_back('/');
    if (path.size() > 1 && path.back() == '/' && out != "/") out += '/';
    return out;
}

std::string base_dir(const char* base) {
    std::string b = base ? normalise_path(base) : model_dir;
    std::replace(b.begin(), b.end(), '\\', '/');
    if (b.empty()) b = current_dir();
    if (b[0] != '/') b = current_dir() + "/" + b;
    if (b.back() != '/') b += '/';
    return b;
}

} // namespace

std::size_t extension_dot(const std::string& name) {
    std::size_t base = 0;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (is_sep(name[i]) || name[i] == ':') base = i + 1;
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot <= base) return std::string::npos;
    return dot;
}

std::string normalise_path(const char* name) {
    std::string s = name ? name : "";
    if (s.size() > 2 && s[0] == '%') {
        std::size_t end = s.find('%', 1);
        if (end != std::string::npos && end > 1) {
            std::string var = s.substr(1, end - 1);
            if (const char* v = std::getenv(var.c_str())) s = v + s.substr(end + 1);
        }
    }
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

// ------------------------------------------------------------- file kinds ---

const char* kind_extension(int kind) {
    if (kind < 0 || kind >= fk_count) return "";
    return extension_table[kind];
}

int file_kind_of(const char* name, int dflt) {
    if (!name) return dflt;
    std::string s = name;
    std::size_t dot = extension_dot(s);
    if (dot == std::string::npos || dot + 1 == s.size()) return dflt;
    const char* ext = s.c_str() + dot + 1;
    for (int k = 0; k < fk_count; ++k)
        if (k != fk_none && iequal(ext, extension_table[k])) return k;
    return dflt;
}

char* set_extension(const char* name, int kind, int replace) {
    std::string s = name ? name : "";
    std::size_t dot = extension_dot(s);
    if (kind == fk_none) {
        if (dot != std::string::npos) s.erase(dot);
        return scratch_strdup(s.c_str());
    }
    if (dot != std::string::npos) {
        if (!replace) return scratch_strdup(s.c_str());
        s.erase(dot);
    }
    if (kind < 0 || kind >= fk_count) return scratch_strdup(s.c_str());
    s += '.';
    s += extension_table[kind];
    return scratch_strdup(s.c_str());
}

// ------------------------------------------------------------------ paths ---

std::string full_path(const char* base, const char* name) {
    std::string n = normalise_path(name);
    if (!n.empty() && n[0] == '/') return resolve_dots(n);
    return resolve_dots(base_dir(base) + n);
}

char* split_path(const char* base, const char* name, char** dir_out, char** name_out,
                 char** ext_out) {
    std::string full = full_path(base, name);
    std::size_t slash = full.rfind('/');
    std::string dir = full.substr(0, slash + 1);
    std::string file = full.substr(slash + 1);
    std::string ext;
    std::size_t dot = extension_dot(file);
    if (dot != std::string::npos) {
        ext = file.substr(dot + 1);
        file.erase(dot);
    }
    if (dir_out) *dir_out = scratch_strdup(dir.c_str());
    if (name_out) *name_out = scratch_strdup(file.c_str());
    if (ext_out) *ext_out = scratch_strdup(ext.c_str());
    return scratch_strdup(full.c_str());
}

const char* strip_model_dir(const char* base, const char* path) {
    if (!path) return "";
    std::string dir = base ? normalise_path(base) : model_dir;
    std::replace(dir.begin(), dir.end(), '\\', '/');
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    if (dir.empty()) return path;
    std::size_t n = dir.size();
    if (std::strlen(path) <= n) return path;
    for (std::size_t i = 0; i < n; ++i) {
        char c = path[i] == '\\' ? '/' : path[i];
        if (c != dir[i]) return path;
    }
    if (dir == "/") return path + 1;
    if (!is_sep(path[n])) return path;
    return path + n + 1;
}

const char* file_name_part(const char* path) {
    if (!path) return "";
    const char* p = path;
    for (const char* q = path; *q; ++q)
        if (*q == '\\' || *q == '/' || *q == ':') p = q + 1;
    return p;
}

char* model_relative_path(const char* path, int max_chars) {
    std::string p = normalise_path(path);
    std::string out;
    if (p.find('/') == std::string::npos) {
        out = base_dir(nullptr) + p;
    } else if (p[0] == '/') {
        out = resolve_dots(p);
        if (!model_dir.empty()) {
            std::string dir = base_dir(nullptr);
            if (out.size() > dir.size() && out.compare(0, dir.size(), dir) == 0)
                out = out.substr(dir.size());
        }
    } else {
        out = p;
    }
    if (max_chars > 0 && out.size() > static_cast<std::size_t>(max_chars))
        out = out.substr(out.size() - static_cast<std::size_t>(max_chars));
    return scratch_strdup(out.c_str());
}

int change_dir(const char* path) {
    if (!path || !*path) return 0;
    std::string p = normalise_path(path);
    struct stat st;
    if (!(::stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) {
        std::size_t slash = p.rfind('/');
        if (slash == std::string::npos) return 1; // a bare name: already here
        p = slash == 0 ? "/" : p.substr(0, slash);
    }
    return ::chdir(p.c_str()) == 0 ? 1 : 0;
}

bool make_dirs(const std::string& dir) {
    if (dir.empty()) return false;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    std::string path;
    for (std::size_t i = 0; i < dir.size(); ++i) {
        path += dir[i];
        if ((dir[i] == '/' && i > 0) || i + 1 == dir.size()) {
            if (::mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
        }
    }
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
