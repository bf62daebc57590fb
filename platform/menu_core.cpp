// Menu objects and their items.
#include "platform/menu.h"
#include "platform/menu_internal.h"

#include "platform/dlg.h"
#include "platform/gdi.h"

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace menu {
namespace {

constexpr std::uint32_t tag = 0x40000000u;
constexpr std::uint32_t slot_bits = 16;
constexpr std::uint32_t slot_mask = (1u << slot_bits) - 1;

struct Slot {
    std::uint32_t gen = 0;
    std::unique_ptr<Menu> menu;
};
std::vector<Slot>& slots() {
    static std::vector<Slot> s;
    return s;
}

HMENU make(bool bar) {
    auto& s = slots();
    std::size_t slot = s.size();
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!s[i].menu && s.size() > 256) { // reuse late: stale handles stay detectable
            slot = i;
            break;
        }
    if (slot == s.size()) {
        if (s.size() >= slot_mask) return nullptr;
        s.emplace_back();
    }
    Slot& x = s[slot];
    x.gen = (x.gen + 1) & 0x3FFF;
    if (x.gen == 0) x.gen = 1;
    x.menu = std::make_unique<Menu>();
    x.menu->bar = bar;
    install_window_hooks(); // any menu may become a window's
    return handle_from_token<HMENU>(tag | (x.gen << slot_bits) |
                                    static_cast<std::uint32_t>(slot + 1));
}

std::map<int, std::vector<MenuTemplateItem>>& templates() {
    static std::map<int, std::vector<MenuTemplateItem>> t;
    return t;
}

bool set_item(Item& it, UINT flags, UINT_PTR id, const char* text) {
    it.flags = flags & ~(MF_BYPOSITION | MF_APPEND | MF_CHANGE | MF_DELETE | MF_REMOVE);
    it.sub = nullptr;
    it.data = 0;
    it.text.clear();
    if (flags & MF_POPUP) {
        HMENU sub = reinterpret_cast<HMENU>(id);
        if (!get(sub)) {
            ui_fail("menu: the pop-up handle is not a menu");
            return false;
        }
        it.sub = sub;
        it.id = id;
    } else {
        it.id = id;
    }
    if (flags & MF_OWNERDRAW)
        it.data = reinterpret_cast<ULONG_PTR>(text);
    else if (!(flags & MF_SEPARATOR) && !(flags & MF_BITMAP) && text)
        it.text = text;
    return true;
}

void changed(HMENU h) {
    // A change to a window's bar shows at the next DrawMenuBar; pop-ups are
    // built each time they open.
    (void)h;
}

void destroy_tree(HMENU h) {
    Menu* m = get(h);
    if (!m) return;
    std::vector<HMENU> subs;
    for (Item& it : m->items)
        if (it.sub) subs.push_back(it.sub);
    if (m->window && GetMenu(m->window) == h) SetMenu(m->window, nullptr);
    std::uint32_t slot = (token_of(h) & slot_mask) - 1;
    slots()[slot].menu.reset();
    for (HMENU s : subs) destroy_tree(s);
}

HMENU build(const std::vector<MenuTemplateItem>& items, bool bar) {
    HMENU h = bar ? CreateMenu() : CreatePopupMenu();
    for (const MenuTemplateItem& t : items) {
        if (!t.items.empty() || (t.flags & MF_POPUP)) {
            HMENU sub = build(t.items, false);
            AppendMenu(h, (t.flags | MF_POPUP) & ~MF_SEPARATOR, reinterpret_cast<UINT_PTR>(sub),
                       t.text);
        } else if (!t.text || std::strcmp(t.text, "-") == 0) {
            AppendMenu(h, MF_SEPARATOR, 0, nullptr);
        } else {
            AppendMenu(h, t.flags, t.id, t.text);
        }
    }
    return h;
}

HMENU class_menu_loader(HINSTANCE instance, const char* name) {
    return LoadMenu(instance, name);
}

} // namespace

Menu* get(HMENU h) {
    auto t = token_of(h);
    if ((t & 0xC0000000u) != tag) return nullptr;
    std::uint32_t slot = t & slot_mask;
    auto& s = slots();
    if (slot == 0 || slot > s.size()) return nullptr;
    Slot& x = s[slot - 1];
    if (!x.menu || x.gen != ((t >> slot_bits) & 0x3FFF)) return nullptr;
    return x.menu.get();
}

Item* find(HMENU h, UINT item, UINT flags, HMENU* owner, int* index) {
    Menu* m = get(h);
    if (!m) return nullptr;
    if (flags & MF_BYPOSITION) {
        if (item >= m->items.size()) return nullptr;
        if (owner) *owner = h;
        if (index) *index = static_cast<int>(item);
        return &m->items[item];
    }
    for (std::size_t i = 0; i < m->items.size(); ++i) {
        Item& it = m->items[i];
        if (!it.sub && !(it.flags & MF_SEPARATOR) && it.id == item) {
            if (owner) *owner = h;
            if (index) *index = static_cast<int>(i);
            return &it;
        }
        if (it.sub)
            if (Item* r = find(it.sub, item, flags, owner, index)) return r;
    }
    return nullptr;
}

} // namespace menu

using menu::Item;

HMENU CreateMenu() {
    platform_ensure_application();
    return menu::make(true);
}
HMENU CreatePopupMenu() {
    return menu::make(false);
}
BOOL IsMenu(HMENU h) {
    return menu::get(h) ? TRUE : FALSE;
}
BOOL DestroyMenu(HMENU h) {
    if (!menu::get(h)) return FALSE;
    menu::destroy_tree(h);
    return TRUE;
}

BOOL AppendMenu(HMENU h, UINT flags, UINT_PTR id, const char* text) {
    menu::Menu* m = menu::get(h);
    if (!m) return FALSE;
    Item it;
    if (!menu::set_item(it, flags, id, text)) return FALSE;
    m->items.push_back(std::move(it));
    menu::changed(h);
    return TRUE;
}

BOOL InsertMenu(HMENU h, UINT position, UINT flags, UINT_PTR id, const char* text) {
    menu::Menu* m = menu::get(h);
    if (!m) return FALSE;
    HMENU owner = h;
    int index = static_cast<int>(m->items.size());
    if (flags & MF_BYPOSITION) {
        if (position < m->items.size()) index = static_cast<int>(position);
    } else if (!menu::find(h, position, flags, &owner, &index)) {
        return FALSE;
    }
    Item it;
    if (!menu::set_item(it, flags, id, text)) return FALSE;
    menu::Menu* om = menu::get(owner);
    om->items.insert(om->items.begin() + index, std::move(it));
    menu::changed(owner);
    return TRUE;
}

BOOL ModifyMenu(HMENU h, UINT position, UINT flags, UINT_PTR id, const char* text) {
    Item* it = menu::find(h, position, flags);
    if (!it) return FALSE;
    HMENU old_sub = it->sub;
    Item copy;
    if (!menu::set_item(copy, flags, id, text)) return FALSE;
    // A pop-up replaced by another item is destroyed, as on the platform.
    if (old_sub && old_sub != copy.sub) DestroyMenu(old_sub);
    it = menu::find(h, position, flags);
    if (!it) return FALSE;
    *it = std::move(copy);
    return TRUE;
}

namespace {
BOOL take_out(HMENU h, UINT position, UINT flags, bool destroy) {
    HMENU owner = nullptr;
    int index = -1;
    Item* it = menu::find(h, position, flags, &owner, &index);
    if (!it) return FALSE;
    HMENU sub = it->sub;
    menu::Menu* m = menu::get(owner);
    m->items.erase(m->items.begin() + index);
    if (destroy && sub) DestroyMenu(sub);
    return TRUE;
}
} // namespace

BOOL DeleteMenu(HMENU h, UINT position, UINT flags) {
    return take_out(h, position, flags, true);
}
BOOL RemoveMenu(HMENU h, UINT position, UINT flags) {
    return take_out(h, position, flags, false);
}

DWORD CheckMenuItem(HMENU h, UINT item, UINT flags) {
    Item* it = menu::find(h, item, flags);
    if (!it) return static_cast<DWORD>(-1);
    DWORD old = it->flags & MF_CHECKED;
    it->flags = (it->flags & ~MF_CHECKED) | (flags & MF_CHECKED);
    return old;
}

UINT EnableMenuItem(HMENU h, UINT item, UINT flags) {
    Item* it = menu::find(h, item, flags);
    if (!it) return static_cast<UINT>(-1);
    UINT old = it->flags & (MF_GRAYED | MF_DISABLED);
    it->flags = (it->flags & ~(MF_GRAYED | MF_DISABLED)) | (flags & (MF_GRAYED | MF_DISABLED));
    return old;
}

UINT GetMenuState(HMENU h, UINT item, UINT flags) {
    Item* it = menu::find(h, item, flags);
    if (!it) return static_cast<UINT>(-1);
    UINT f = it->flags & ~MF_POPUP;
    if (it->sub) {
        menu::Menu* sm = menu::get(it->sub);
        UINT n = sm ? static_cast<UINT>(std::min<std::size_t>(sm->items.size(), 255)) : 0;
        return (n << 8) | (f & 0xFF) | MF_POPUP;
    }
    return f;
}

int GetMenuItemCount(HMENU h) {
    menu::Menu* m = menu::get(h);
    return m ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU h, int position) {
    menu::Menu* m = menu::get(h);
    if (!m || position < 0 || position >= static_cast<int>(m->items.size()))
        return static_cast<UINT>(-1);
    const Item& it = m->items[static_cast<std::size_t>(position)];
    return it.sub ? static_cast<UINT>(-1) : static_cast<UINT>(it.id);
}

HMENU GetSubMenu(HMENU h, int position) {
    menu::Menu* m = menu::get(h);
    if (!m || position < 0 || position >= static_cast<int>(m->items.size())) return nullptr;
    return m->items[static_cast<std::size_t>(position)].sub;
}

int GetMenuString(HMENU h, UINT item, char* buffer, int size, UINT flags) {
    Item* it = menu::find(h, item, flags);
    if (!it) return 0;
    if (!buffer || size <= 0) return static_cast<int>(it->text.size());
    std::size_t n = std::min(it->text.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, it->text.data(), n);
    buffer[n] = 0;
    return static_cast<int>(n);
}

std::vector<UINT> menu_item_ids(HMENU h) {
    std::vector<UINT> v;
    if (menu::Menu* m = menu::get(h))
        for (const Item& it : m->items)
            v.push_back(it.sub                      ? static_cast<UINT>(-1)
                        : (it.flags & MF_SEPARATOR) ? 0
                                                    : static_cast<UINT>(it.id));
    return v;
}

BOOL menu_register_template(int id, std::vector<MenuTemplateItem> items) {
    if (id <= 0 || id > 0xFFFF) {
        ui_fail("menu template number " + std::to_string(id) + " is out of range");
        return FALSE;
    }
    menu::templates()[id] = std::move(items);
    win_set_class_menu_loader(menu::class_menu_loader);
    menu::install_window_hooks();
    return TRUE;
}

void menu_clear_templates() {
    menu::templates().clear();
}

HMENU LoadMenu(HINSTANCE, const char* name) {
    if (!name) return nullptr;
    int id = 0;
    if (IS_INTRESOURCE(name)) {
        id = static_cast<int>(reinterpret_cast<std::uintptr_t>(name));
    } else {
        char* end = nullptr;
        long v = std::strtol(name[0] == '#' ? name + 1 : name, &end, 10);
        if (end && !*end) id = static_cast<int>(v);
    }
    auto it = menu::templates().find(id);
    if (it == menu::templates().end()) {
        ui_fail("menu template " + (id ? std::to_string(id) : std::string(name)) + " is not known");
        return nullptr;
    }
    return menu::build(it->second, true);
}
