// The settings a package carries for its stub: where to unpack, the password, the
// program to start, install mode and the stub's dialog texts. They sit between the
// stub and the archive as UTF-8 "key=value" lines ('\' and line breaks escaped),
// followed by a trailer: the text's length and CRC-32 (little-endian 32-bit each) and
// the 8-byte magic. The stub finds the trailer right before the archive's first entry.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qsfx {

inline constexpr char kSettingsMagic[8] = {'Q', 'v', 'S', 'f', 'x', 'C', 'f', 'g'};
inline constexpr std::size_t kSettingsTrailerSize = 16;
inline constexpr std::uint32_t kMaxSettingsText = 1u << 20;

// Keys of the settings text.
inline constexpr const char* kKeyPassword = "password";
inline constexpr const char* kKeyFolder = "folder";
inline constexpr const char* kKeyRun = "run";
inline constexpr const char* kKeyInstall = "install";
inline constexpr const char* kKeyTitle = "title";
inline constexpr const char* kKeyConfirm = "confirm";
inline constexpr const char* kKeyDone = "done";

// Parsed settings; the strings point into a buffer the object owns (never null).
class Settings {
public:
    Settings() = default;
    ~Settings();
    Settings(const Settings&) = delete;
    Settings& operator=(const Settings&) = delete;

    // Reads the trailer that ends at `trailerEnd` inside `data` and the text before it.
    // False when there is no valid block (damaged or not a package).
    bool parse(const std::uint8_t* data, std::size_t trailerEnd);
    // The text's length, from a trailer alone (16 bytes); 0 when it is not a trailer.
    static std::uint32_t textLengthFromTrailer(const std::uint8_t* trailer);

    const char* password = "";
    const char* folder = "";
    const char* run = "";
    const char* title = "";
    const char* confirm = "";
    const char* done = "";
    bool install = false;

private:
    char* buffer_ = nullptr;
};

// Expands "%t" to `temp` and "%d" to `dir` in `text`; "%%" gives "%". With `quote`, an
// expansion that holds a space or tab and is not already inside quotes is put in
// quotes, so that a folder such as C:\Users\Li Wei\AppData\Local\Temp stays one
// parameter. Writes at most `cap` bytes with the terminating zero and returns the length
// it needs (without the zero); a result >= cap means `out` was too small.
// The stub never unpacks into the folder its settings name, which may hold anybody's
// files: it makes a fresh subfolder there, named kUnpackPrefix and eight hex digits,
// and that subfolder is what "%d" names. A folder the stub made itself carries the
// marker file; only there does it remove the subfolders of earlier runs.
inline constexpr char kUnpackMarker[] = "qelvaro-sfx.tag";
inline constexpr char kUnpackPrefix[] = "sfx-";

// Why `folder` (the unpack folder setting, "%t" not yet expanded) cannot be a package's
// unpack folder, in English; null when it can. It must be absolute ("%t\...", "C:\..."
// or "\\server\share\..."), below a drive, share or the temporary folder rather than
// one of them, without "%d", "." or ".." parts or '/' separators.
const char* unpackFolderProblem(const char* folder);

std::size_t expandPlaceholders(const char* text, const char* temp, const char* dir, bool quote, char* out,
                               std::size_t cap);

}  // namespace qsfx
