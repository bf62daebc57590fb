// Compiled code kept on disk between sessions: the object of each module a
// pass is compiled in, filed under a key that names everything the object
// depends on (the module itself, the code generator and the machine; the
// code generator's module makes the key, see llvm/cache.cpp). A viewer that
// opens a model again, or a run that builds the same passes again, links
// the objects instead of compiling them.
//
// The entries are files of their own in one folder: $XDG_CACHE_HOME/kavrel/native
// (else ~/.cache/kavrel/native), or the folder KAVREL_NATIVE_CACHE names;
// KAVREL_NATIVE_CACHE=0 turns the cache off. Each is written to a file of
// its own and renamed into place, so a reader (another viewer at the same
// time) finds a whole entry or none. Every entry begins with a header:
// magic, format version, header size, the key, the object's length and
// the SHA-256 of the object. An entry that is short, altered, of another
// key or of another format is not used: the module is compiled, and the
// entry written again. The folder is kept under a bound, the entries used
// least lately removed first.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The folder the cache uses ("" when it is off); set by a test or a
// benchmark ("" turns it off; set_native_cache_folder_default goes back to
// the environment's choice).
std::string native_cache_folder();
void set_native_cache_folder(const std::string& folder);
void set_native_cache_folder_default();
// The size of the folder's entries is kept under this many bytes.
inline constexpr std::uint64_t native_cache_bound = 256ull << 20;
// What the cache did in this process (tests, benchmarks).
struct native_cache_counts {
    std::size_t found = 0;   // modules linked from an entry
    std::size_t missed = 0;  // modules compiled (no entry, or none usable)
    std::size_t refused = 0; // entries there but not usable (of those missed)
    std::size_t written = 0; // entries written
    std::size_t removed = 0; // entries removed to keep the bound
    std::size_t unkeyed = 0; // modules compiled without a key (not kept)
};
native_cache_counts native_cache_counts_now();
// The bytes of the entries in the folder now.
std::uint64_t native_cache_size();

namespace native_detail {

using cache_key = std::array<unsigned char, 32>;

// An entry's file as written: header, then the object.
std::vector<char> make_cache_entry(const cache_key& key, std::string_view object);
// The object of an entry's bytes when they are a whole entry of key (a view
// into data); false for anything else.
bool read_cache_entry(std::string_view data, const cache_key& key, std::string_view* object);
inline constexpr std::size_t cache_header_size = 88;

// The key of a module's object: identity names the code generator, the
// machine and the level, module is the module's IR as compiled.
cache_key make_cache_key(std::string_view identity, std::string_view module);

// Whether the cache is on (it has a folder).
bool cache_on();
// The object filed under key, read into object; false when there is none
// (or the cache is off), or the entry is not usable. A miss is counted
// when the module is compiled for it (compiling).
bool cache_find(const cache_key& key, std::vector<char>& object, bool compiling = true);
// Files object under key (nothing when the cache is off or the folder
// cannot be written).
void cache_keep(const cache_key& key, std::string_view object);
// A module compiled without a key (an address the key cannot name).
void cache_unkeyed();
// Entries over bound removed, those used least lately first, down to three
// quarters of it (after the cache's own writes, about every
// bound / 8 bytes written).
void cache_trim(std::uint64_t bound);

} // namespace native_detail
