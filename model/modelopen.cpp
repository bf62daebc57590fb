// Opening a model by its file kind: model files, the model part of run files
// and packaged models.
#include <cstring>
#include <string>

#include "foundation/files.h"
#include "foundation/memory.h"
#include "foundation/package.h"
#include "foundation/report.h"
#include "model/context.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"

namespace {

// Reads the model of a file by its kind (a model file, the model part of a run
// file); the file layer finds members of the open package by name.
model_pair read_model_of_kind(const std::string& path, int kind) {
    model_pair m;
    if (kind == fk_text_model) {
        report(8,
               "%s is a text model. This viewer has no equation parser: open the binary model "
               "(.kmf) saved by the authoring program instead.",
               path.c_str());
        return m;
    }
    if (kind != fk_run) return read_model_file(path.c_str());
    handle rec = read_binary_model(path.c_str(), 0);
    if (!rec) return m;
    {
        handle_lock<kmf_header> r(rec);
        m.symbols = kmf_word(*r.get(), kdf_word_symbols);
        auto fh = static_cast<file_handle>(kmf_word(*r.get(), kdf_word_file));
        if (fh >= 0) fh_close(fh);
        free_hblock_if(kmf_word(*r.get(), kdf_word_info));
        kmf_word(*r.get(), kdf_word_file) = static_cast<std::uint32_t>(-1);
        kmf_word(*r.get(), kdf_word_symbols) = 0;
        kmf_word(*r.get(), kdf_word_info) = 0;
    }
    m.header = rec;
    return m;
}

// Opens a package and reads its main model. The package is checked (and its
// password asked for) before it replaces the open package, so a package that
// cannot be opened leaves the current model's package as it was.
model_pair open_packaged_model(const std::string& path, std::string& dir) {
    model_pair m;
    package_reader reader;
    if (!reader.open(path.c_str())) return m;
    std::string password;
    if (reader.needs_password()) {
        char typed[max_password_chars + 2] = {};
        if (modelfile_format::ask_model_password(path.c_str(), typed, sizeof typed))
            password.assign(typed, strnlen(typed, sizeof typed));
    }
    if (!reader.read_members(password.empty() ? nullptr : password.c_str())) return m;
    std::string previous = package_open() ? package_path() : "";
    bool previous_plain = package_open() && !(package_flags() & pkg_flag_password);
    auto restore = [&]() {
        close_package();
        // A previous package without a password is opened again; one with a
        // password cannot be (its password is not kept).
        if (previous_plain) open_package(previous.c_str(), nullptr);
    };
    reader.make_open();
    int main = package_main_member();
    if (main < 0) {
        report(8, "The package %s holds no model", path.c_str());
        restore();
        return m;
    }
    std::string member = std::string(package_dir()) + package_member_name(main);
    m = read_model_of_kind(member, file_kind_of(member.c_str(), fk_model));
    if (!m.symbols) {
        restore();
        return {};
    }
    char* d = nullptr;
    split_path(nullptr, member.c_str(), &d, nullptr, nullptr);
    dir = d ? d : package_dir();
    return m;
}

} // namespace

int open_model(int mode, int flags, const char* name, int open_flags) {
    (void)flags;
    (void)open_flags;
    model_pair m;
    std::string path = name ? name : "";
    std::string dir;
    if (mode == 0 || path.empty()) {
        m = new_model("", 0);
        close_package();
    } else {
        int kind = file_kind_of(path.c_str(), fk_model);
        if (kind == fk_package_model || kind == fk_package_app) {
            m = open_packaged_model(path, dir);
        } else {
            char* d = nullptr;
            split_path(nullptr, path.c_str(), &d, nullptr, nullptr);
            dir = d ? d : "";
            m = read_model_of_kind(path, kind);
            // The open package belongs to the model read from it: a model
            // from elsewhere must not find its files among the package's
            // members.
            if (m.symbols && package_open() && file_status(path.c_str(), 0) < 2) close_package();
        }
        if (!m.symbols) return 0;
    }
    read_model_settings(m.header, m.symbols);
    close_model(m.header, m.symbols, dir.c_str(), path.c_str());
    model_dir = dir;
    if (model_rec) model_rec->state = path.empty() ? 2 : 1;
    return 1;
}
