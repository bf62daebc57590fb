// The model password: stored as a salted, stretched check value, never as
// the text.
#include <cstring>
#include <random>
#include <string>

#include "foundation/checksum.h"
#include "foundation/memory.h"
#include "model/modelfile.h"
#include "model/modelfile_format.h"

namespace {

void password_check(const std::uint8_t salt[16], const char* text, std::uint32_t iterations,
                    std::uint8_t out[32]) {
    sha256 s;
    s.update(salt, 16);
    s.update(text, std::strlen(text));
    auto digest = s.finish();
    for (std::uint32_t i = 1; i < iterations; ++i) {
        sha256 t;
        t.update(salt, 16);
        t.update(digest.data(), 32);
        digest = t.finish();
    }
    std::memcpy(out, digest.data(), 32);
}

password_hook_fn password_hook = nullptr;

} // namespace

void set_password_hook(password_hook_fn hook) {
    password_hook = hook;
}

int modelfile_format::ask_model_password(const char* model_name, char* out, std::size_t size) {
    return password_hook ? password_hook(model_name, out, size) : 0;
}

bool model_has_password(handle symbols) {
    handle p = get_header_word(symbols, mh_password);
    if (!p) return false;
    handle_lock<std::uint32_t> b(p);
    return reinterpret_cast<password_record*>(b.get() + 5)->state == 1;
}

void set_model_password(handle symbols, const char* text) {
    free_hblock_if(get_header_word(symbols, mh_password));
    set_header_word(symbols, mh_password, 0);
    if (!text || !*text) return;
    password_record rec{};
    rec.state = 1;
    rec.iterations = 4096;
    std::random_device rd;
    for (auto& b : rec.salt) b = static_cast<std::uint8_t>(rd());
    std::string t(text, strnlen(text, max_password_chars));
    password_check(rec.salt, t.c_str(), rec.iterations, rec.check);
    handle h = new_hblock(5 + 14 + 2, 0, 0);
    std::int32_t cell = hblock_alloc(h, sizeof rec, 0);
    {
        handle_lock<std::uint32_t> b(h);
        std::memcpy(b.get() + cell, &rec, sizeof rec);
    }
    set_header_word(symbols, mh_password, h);
}

bool check_model_password(handle symbols, const char* text) {
    handle p = get_header_word(symbols, mh_password);
    if (!p) return true;
    password_record rec;
    {
        handle_lock<std::uint32_t> b(p);
        std::memcpy(&rec, b.get() + 5, sizeof rec);
    }
    if (rec.state != 1) return true;
    if (rec.iterations == 0 || rec.iterations > 1000000) return false;
    std::string t(text ? text : "", text ? strnlen(text, max_password_chars) : 0);
    std::uint8_t out[32];
    password_check(rec.salt, t.c_str(), rec.iterations, out);
    return std::memcmp(out, rec.check, 32) == 0;
}
