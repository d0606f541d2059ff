#include <windows.h>

#include <string>

#include "zipcomp/sfx_icon.h"

namespace zipcomp {
namespace {

struct Named {
    LPCWSTR type;
    std::wstring name;  // empty for a numbered one
    WORD id = 0;
    WORD lang = 0;
    LPCWSTR ptr() const { return name.empty() ? MAKEINTRESOURCEW(id) : name.c_str(); }
};

struct Found {
    LPCWSTR type;
    std::vector<Named> all;
};

BOOL CALLBACK onLanguage(HMODULE, LPCWSTR, LPCWSTR name, WORD lang, LONG_PTR param) {
    auto& f = *reinterpret_cast<Found*>(param);
    Named n{f.type, {}, 0, 0};
    if (IS_INTRESOURCE(name)) n.id = static_cast<WORD>(reinterpret_cast<ULONG_PTR>(name));
    else n.name = name;
    n.lang = lang;
    f.all.push_back(n);
    return TRUE;
}

BOOL CALLBACK onName(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR param) {
    EnumResourceLanguagesW(module, type, name, onLanguage, param);
    return TRUE;
}

// The icons a program carries now, every language of each.
std::vector<Named> existingIcons(const std::wstring& file) {
    std::vector<Named> out;
    HMODULE m = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m) return out;
    for (LPCWSTR type : {RT_GROUP_ICON, RT_ICON}) {
        Found f{type, {}};
        EnumResourceNamesW(m, type, onName, reinterpret_cast<LONG_PTR>(&f));
        out.insert(out.end(), f.all.begin(), f.all.end());
    }
    FreeLibrary(m);
    return out;
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
    const std::vector<Named> old = existingIcons(path);

    HANDLE update = BeginUpdateResourceW(path.c_str(), FALSE);
    if (!update) return IconResult::Failed;
    bool ok = true;
    for (const Named& n : old) ok = ok && UpdateResourceW(update, n.type, n.ptr(), n.lang, nullptr, 0);
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
