#include <windows.h>

#include <string>

#include "zipcomp/sfx_icon.h"

namespace zipcomp {
namespace {

// One resource of a program, copied out: type and name (a number or a text), language
// and bytes.
struct Copied {
    std::wstring type, name;
    WORD typeId = 0, nameId = 0, lang = 0;
    std::vector<std::uint8_t> data;
    LPCWSTR typePtr() const { return type.empty() ? MAKEINTRESOURCEW(typeId) : type.c_str(); }
    LPCWSTR namePtr() const { return name.empty() ? MAKEINTRESOURCEW(nameId) : name.c_str(); }
};

struct Walk {
    HMODULE module;
    LPCWSTR type = nullptr;
    std::vector<Copied> kept;
};

BOOL CALLBACK onLanguage(HMODULE module, LPCWSTR type, LPCWSTR name, WORD lang, LONG_PTR param) {
    auto& w = *reinterpret_cast<Walk*>(param);
    Copied c;
    if (IS_INTRESOURCE(type)) c.typeId = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(type));
    else c.type = type;
    if (IS_INTRESOURCE(name)) c.nameId = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    else c.name = name;
    c.lang = lang;
    HRSRC r = FindResourceExW(module, type, name, lang);
    HGLOBAL g = r ? LoadResource(module, r) : nullptr;
    const auto* bytes = g ? static_cast<const std::uint8_t*>(LockResource(g)) : nullptr;
    if (bytes) c.data.assign(bytes, bytes + SizeofResource(module, r));
    w.kept.push_back(std::move(c));
    return TRUE;
}

BOOL CALLBACK onName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    EnumResourceLanguagesW(module, type, name, onLanguage, param);
    return TRUE;
}

BOOL CALLBACK onType(HMODULE module, LPWSTR type, LONG_PTR param) {
    // The icons are the ones replaced.
    if (type == RT_ICON || type == RT_GROUP_ICON) return TRUE;
    EnumResourceNamesW(module, type, onName, param);
    return TRUE;
}

// Every resource of a program but its icons.
bool otherResources(const std::wstring& file, std::vector<Copied>& out) {
    HMODULE m = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m) return false;
    Walk w{m};
    EnumResourceTypesW(m, onType, reinterpret_cast<LONG_PTR>(&w));
    FreeLibrary(m);
    out = std::move(w.kept);
    return true;
}

bool writeAll(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    const bool ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size();
    return CloseHandle(h) && ok;
}

bool readAll(const std::wstring& path, std::vector<std::uint8_t>& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart < (1 << 30);
    if (ok) {
        bytes.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        ok = ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) && got == bytes.size();
    }
    CloseHandle(h);
    return ok;
}

}  // namespace

IconResult applyIcon(std::vector<std::uint8_t>& program, const std::vector<std::uint8_t>& ico) {
    std::vector<IconImage> images;
    if (!parseIconFile(ico, images)) return IconResult::BadIcon;
    // The resource writer works on files: a private copy in the temporary folder.
    wchar_t dir[MAX_PATH + 1] = {}, file[MAX_PATH + 1] = {};
    if (!GetTempPathW(MAX_PATH + 1, dir) || !GetTempFileNameW(dir, L"qsx", 0, file)) return IconResult::Failed;
    const std::wstring path = file;
    struct Remove {
        const std::wstring& p;
        ~Remove() { DeleteFileW(p.c_str()); }
    } remove{path};
    if (!writeAll(path, program)) return IconResult::Failed;
    // Rebuilt from scratch: deleting single resources is not honoured everywhere (Wine
    // reports success and keeps them), and the old icons would stay beside the new.
    std::vector<Copied> others;
    if (!otherResources(path, others)) return IconResult::Failed;
    HANDLE update = BeginUpdateResourceW(path.c_str(), TRUE);
    if (!update) return IconResult::Failed;
    bool ok = true;
    for (const Copied& c : others)
        ok = ok && UpdateResourceW(update, c.typePtr(), c.namePtr(), c.lang, const_cast<std::uint8_t*>(c.data.data()),
                                   static_cast<DWORD>(c.data.size()));
    const WORD neutral = MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL);
    for (std::size_t i = 0; i < images.size() && ok; ++i) {
        ok = UpdateResourceW(update, RT_ICON, MAKEINTRESOURCEW(i + 1), neutral, images[i].data.data(),
                             static_cast<DWORD>(images[i].data.size()));
    }
    std::vector<std::uint8_t> group = iconGroupRecord(images);
    ok = ok && UpdateResourceW(update, RT_GROUP_ICON, MAKEINTRESOURCEW(1), neutral, group.data(),
                               static_cast<DWORD>(group.size()));
    if (!EndUpdateResourceW(update, !ok) || !ok) return IconResult::Failed;
    std::vector<std::uint8_t> updated;
    if (!readAll(path, updated)) return IconResult::Failed;
    program.swap(updated);
    return IconResult::Ok;
}

}  // namespace zipcomp
