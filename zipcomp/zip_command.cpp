#include "zipcomp/zip_command.h"

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string_view>

#include "sfx_format/sfx_settings.h"
#include "zipcomp/zip_component.h"

#ifdef _WIN32
#include <io.h>
#define QELVARO_ISATTY(fd) _isatty(fd)
#else
#include <unistd.h>
#define QELVARO_ISATTY(fd) isatty(fd)
#endif

namespace zipcomp {
namespace {

// The command line speaks English, as the rest of `qelvaro` does (the component's own
// descriptions are Chinese: they are written for the window program's message boxes).
constexpr const char* kUsage =
    "usage: qelvaro zip FOLDER ARCHIVE [--level N] [--password P] [--move] [--follow-links]\n"
    "                  [--sfx STUB [--unpack-to FOLDER] [--run \"PROGRAM|PARAMETERS\"]]\n"
    "  --level N        compression level, 0 (store) to 9; 6 by default\n"
    "  --password P     encrypt the entries (use --password=P for a password that begins with '-')\n"
    "  --move           delete each file once it is safely in the archive\n"
    "  --follow-links   pack links to files outside FOLDER with their target's content\n"
    "  --sfx STUB       make a self-extracting program on that stub instead of a Zip file;\n"
    "                   it unpacks into a new subfolder of FOLDER (%t is the temporary folder;\n"
    "                   default %t\\_sfx) and starts PROGRAM with PARAMETERS (%d is that\n"
    "                   subfolder). FOLDER must not exist yet, or be one a package made\n";

const char* describe(SkipReason r) {
    switch (r) {
    case SkipReason::FolderLink: return "link to a folder, not followed";
    case SkipReason::Special: return "not a regular file (pipe, device or socket)";
    case SkipReason::BrokenLink: return "link that leads nowhere";
    case SkipReason::OutsideLink: return "link to a file outside the folder (--follow-links packs it)";
    }
    return "";
}

// Names come from the disk and the command line: control characters (an escape
// sequence hidden in a file name) are shown as \xNN rather than sent to the terminal.
std::string printable(std::string_view s) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        auto c = static_cast<unsigned char>(s[i]);
        auto next = i + 1 < s.size() ? static_cast<unsigned char>(s[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F) {
            out += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
        } else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) {  // C1 controls
            out += std::string("\\u00") + kHex[next >> 4] + kHex[next & 15];
            ++i;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

struct Options {
    std::string folder;
    std::string archive;
    int level = 6;
    std::string password;
    bool move = false;
    std::string stub;  // a self-extracting program on this stub
    std::string unpackTo = "%t\\_sfx";
    std::string run;
    bool followLinks = false;
    bool help = false;
};

std::optional<Options> parse(const std::vector<std::string>& args, std::ostream& err) {
    Options o;
    std::vector<std::string> positional;
    auto usageError = [&](const std::string& message) {
        err << "qelvaro zip: " << printable(message) << "\n" << kUsage;
        return std::nullopt;
    };
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsEnded || a.size() < 2 || a[0] != '-') {
            positional.push_back(a);
            continue;
        }
        std::string name = a, value;
        bool inlineValue = false;
        if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            name = a.substr(0, eq);
            value = a.substr(eq + 1);
            inlineValue = true;
        }
        // A value taken from the next word must not be an option that the user meant as
        // one ("--password --move" would otherwise make "--move" the password).
        auto nextValue = [&]() -> std::optional<std::string> {
            if (inlineValue) return value;
            if (i + 1 >= args.size() || (args[i + 1].size() > 1 && args[i + 1][0] == '-')) return std::nullopt;
            return args[++i];
        };
        if (name == "--help" || name == "-h") {
            o.help = true;
        } else if (name == "--") {
            optionsEnded = true;
        } else if (name == "--level") {
            auto v = nextValue();
            if (!v || v->size() != 1 || (*v)[0] < '0' || (*v)[0] > '9')
                return usageError("--level needs a number from 0 to 9");
            o.level = (*v)[0] - '0';
        } else if (name == "--password") {
            auto v = nextValue();
            if (!v || v->empty())
                return usageError("--password needs a password (write --password=VALUE for one that begins with '-')");
            o.password = *v;
        } else if (name == "--move" && !inlineValue) {
            o.move = true;
        } else if (name == "--follow-links" && !inlineValue) {
            o.followLinks = true;
        } else if (name == "--sfx" || name == "--unpack-to" || name == "--run") {
            auto v = nextValue();
            if (!v || v->empty()) return usageError(name + " needs a value");
            (name == "--sfx" ? o.stub : name == "--run" ? o.run : o.unpackTo) = *v;
        } else {
            return usageError("unknown option " + a);
        }
    }
    if (o.help) return o;
    if (positional.size() != 2) {
        err << kUsage;
        return std::nullopt;
    }
    o.folder = positional[0];
    o.archive = positional[1];
    return o;
}

// Why a package must not unpack below `folder`, or empty when it may. The stub never
// empties the folder, but its subfolders land there and earlier runs' go: a drive, the
// temporary folder or somebody's own folder is not for that. On Windows an existing
// folder (with "%t" as this machine's temporary folder) must be one a package made,
// which carries the stub's marker; elsewhere the target's folders cannot be seen.
std::string unpackFolderRefusal(const std::string& folder) {
    if (const char* problem = qsfx::unpackFolderProblem(folder.c_str())) return problem;
#ifdef _WIN32
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string local = folder;
    if (local.rfind("%t", 0) == 0) {
        const std::u8string temp8 = fs::temp_directory_path(ec).u8string();
        if (ec) return {};
        std::string temp(temp8.begin(), temp8.end());
        while (!temp.empty() && temp.back() == '\\') temp.pop_back();
        local = temp + local.substr(2);
    }
    const fs::path path(std::u8string(local.begin(), local.end()));
    const fs::file_status status = fs::symlink_status(path, ec);
    if (!fs::exists(status)) return {};
    if (!fs::is_directory(status) || fs::is_symlink(status))
        return "the unpack folder exists and is not a folder a package made";
    if (!fs::is_regular_file(fs::symlink_status(path / qsfx::kUnpackMarker, ec)))
        return "the unpack folder exists and is not one a package made (it has no " +
               std::string(qsfx::kUnpackMarker) + "); name a folder that does not exist yet";
#endif
    return {};
}

void drawBar(std::ostream& out, int percent) {
    constexpr int kWidth = 40;
    int filled = percent * kWidth / 100;
    out << "\r[" << std::string(static_cast<std::size_t>(filled), '#')
        << std::string(static_cast<std::size_t>(kWidth - filled), '-') << "] ";
    out.width(3);
    out << percent << "%" << std::flush;
}

}  // namespace

int runZipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    bool terminal = &out == &std::cout && QELVARO_ISATTY(1);
    return runZipCommand(args, out, err, terminal);
}

int runZipCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err, bool progressBar) {
    std::optional<Options> o = parse(args, err);
    if (!o) return 2;
    if (o->help) {
        out << kUsage;
        return 0;
    }

    if (!o->stub.empty()) {
        if (std::string why = unpackFolderRefusal(o->unpackTo); !why.empty()) {
            err << "qelvaro zip: --unpack-to " << printable(o->unpackTo) << ": " << why << "\n";
            return 2;
        }
    }

    ZipComponent zip;
    zip.PreservePaths = true;
    zip.DeleteZippedFiles = o->move;
    zip.ProcessSubfolders = true;
    zip.BasePath = o->folder;
    zip.FilesToProcess = "*.*";
    zip.ZipFilename = o->archive;
    zip.CompressionLevel = o->level;
    zip.EncryptionPassword = o->password;
    if (!o->stub.empty()) {
        zip.SfxBinaryModule = o->stub;
        zip.SfxDefaultPassword = o->password;
        zip.SfxDefaultUnzipToFolder = o->unpackTo;
        zip.SfxExecuteAfter = o->run;
        zip.SfxInstallMode = true;
        zip.SfxClearMessages();
    }
    zip.FollowLinks = o->followLinks;

    GlobalStatusArgs last;
    int shown = -1;
    zip.GlobalStatus = [&](const GlobalStatusArgs& a) {
        last = a;
        if (progressBar && a.nBytesPercent != shown) {
            shown = a.nBytesPercent;
            drawBar(out, shown);
        }
    };
    std::int32_t code = zip.Zip();
    if (progressBar && shown >= 0) out << "\n";
    const auto& skipped = zip.lastSkipped();
    if (!skipped.empty()) {
        err << "qelvaro zip: " << skipped.size() << (skipped.size() == 1 ? " entry" : " entries")
            << " not packed" << (o->move ? " (and left in place)" : "") << ":\n";
        for (const auto& s : skipped) err << "  " << printable(s.path) << ": " << describe(s.reason) << "\n";
    }
    if (code != 0) {
        err << "qelvaro zip: " << errorDescriptionEnglish(code);
        if (!zip.lastErrorPath().empty()) err << ": " << printable(zip.lastErrorPath());
        err << " (error " << code << ")\n";
        return 1;
    }
    out << printable(o->archive) << ": " << last.lFilesProcessed << " files, " << last.lBytesTotal << " -> "
        << last.lBytesOutput << " bytes\n";
    return 0;
}

}  // namespace zipcomp
