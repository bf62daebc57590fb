// Automation within one process: objects driven by name through a dispatch
// interface, variants and safe arrays, servers found by program id, and the
// running-object table of open documents. Objects are shared (reference
// counted by std::shared_ptr: releasing is dropping the pointer). The
// registries are guarded, so a worker thread may create and drive objects too;
// an object guards its own state.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace automation {

using hresult = std::int32_t;
inline constexpr hresult s_ok = 0;
inline constexpr hresult e_fail = -2147467259;            // 0x80004005
inline constexpr hresult e_not_initialised = -2147221008; // 0x800401F0
inline constexpr hresult e_invalid_class = -2147221005;   // 0x800401F3, an unknown program id
inline constexpr hresult e_unavailable = -2147221021;     // 0x800401E3, no such active object
inline constexpr hresult e_unknown_name = -2147352570;    // 0x80020006
inline constexpr hresult e_bad_index = -2147352565;       // 0x8002000B
inline constexpr hresult e_bad_count = -2147352562;       // 0x8002000E, wrong number of arguments
inline constexpr hresult e_type = -2147352571;            // 0x80020005, an argument of a wrong type
inline constexpr hresult e_exception = -2147352567;       // 0x80020009, the object refused
inline bool failed(hresult h) {
    return h < 0;
}

class dispatch;
struct safe_array;

enum class vt : std::uint16_t {
    empty = 0,
    null = 1,
    i2 = 2,
    i4 = 3,
    r4 = 4,
    r8 = 5,
    cy = 6,
    date = 7,
    bstr = 8,
    dispatch = 9,
    error = 10,
    boolean = 11,
    i1 = 16,
    ui1 = 17,
    ui2 = 18,
    ui4 = 19,
    array = 0x2000 | 12, // a safe array of variants
};

struct variant {
    vt type = vt::empty;
    std::int64_t integer = 0; // the integer kinds, boolean (-1 true), error code, cy (x 10000)
    double real = 0;          // r4, r8, date
    std::string text;         // bstr, in UTF-8
    std::shared_ptr<dispatch> object;
    std::shared_ptr<safe_array> array;

    static variant of_int(std::int32_t v);
    static variant of_double(double v);
    static variant of_text(std::string v);
    static variant of_bool(bool v);
    static variant of_object(std::shared_ptr<dispatch> v);
    static variant of_error(std::int32_t code);
};

// A safe array of variants: per dimension a lower bound and a count; the
// elements in row order (the last index running fastest).
struct safe_array {
    struct bound {
        std::int32_t lower = 0;
        std::uint32_t count = 0;
    };
    std::vector<bound> bounds;
    std::vector<variant> elements;
};
// An array of the given bounds, every element empty; null when a count is 0
// or the elements would be more than 64 Mi.
std::shared_ptr<safe_array> make_array(const std::vector<safe_array::bound>& bounds);
// The element at one index per dimension; e_bad_index outside the bounds.
hresult array_get(const safe_array& a, const std::vector<std::int32_t>& index, variant* out);
hresult array_put(safe_array& a, const std::vector<std::int32_t>& index, const variant& v);

// How a member is invoked.
enum invoke_kind : int { invoke_method = 1, invoke_get = 2, invoke_put = 4 };
using dispid = std::int32_t;

class dispatch {
public:
    virtual ~dispatch() = default;
    // The member's id by its name (without regard to case); e_unknown_name.
    virtual hresult ids_of_names(const std::string& name, dispid* id) = 0;
    // Calls a member: a method, a property read, or a property write (the
    // value to write is the last argument). Arguments are in call order.
    virtual hresult invoke(dispid id, int kind, const std::vector<variant>& args,
                           variant* result) = 0;
};

// ids_of_names then invoke.
hresult call(dispatch* object, const std::string& name, int kind,
             const std::vector<variant>& args = {}, variant* result = nullptr);

// ---- initialisation, per thread ----------------------------------------------
// Counted per thread; a server is reached only from a thread that initialised.
hresult initialise();
void uninitialise();
bool initialised();

// ---- servers by program id -----------------------------------------------------
using class_id = std::int32_t;
using factory = std::function<std::shared_ptr<dispatch>()>;
// Registers (or replaces) the server of a program id; it is created on
// demand by create_instance.
void register_server(const std::string& program_id, factory make);
void revoke_server(const std::string& program_id);
hresult class_from_program_id(const std::string& program_id, class_id* out);
// The running instance a server registered as active, else e_unavailable.
hresult get_active_object(class_id id, std::shared_ptr<dispatch>* out);
hresult create_instance(class_id id, std::shared_ptr<dispatch>* out);
void register_active_object(class_id id, std::shared_ptr<dispatch> object);
void revoke_active_object(class_id id);

// ---- the running-object table --------------------------------------------------
// Display names (full paths of open documents) and their objects.
std::int32_t register_running(const std::string& display_name, std::shared_ptr<dispatch> object);
void revoke_running(std::int32_t cookie);
std::vector<std::string> running_names();
hresult bind_running(const std::string& display_name, std::shared_ptr<dispatch>* out);

// Forgets every server, active object and running entry (tests).
void reset_automation();

} // namespace automation
