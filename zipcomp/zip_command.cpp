#include "zipcomp/zip_command.h"

#include <cstdio>
#include <iostream>
#include <optional>

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

constexpr const char* kUsage =
    "usage: qelvaro zip FOLDER ARCHIVE [--level N] [--password P] [--move]\n"
    "                  [--sfx STUB [--unpack-to FOLDER] [--run \"PROGRAM|PARAMETERS\"]]\n";

struct Options {
    std::string folder;
    std::string archive;
    int level = 6;
    std::string password;
    bool move = false;
    std::string stub;  // a self-extracting program on this stub
    std::string unpackTo = "%t\\_sfx";
    std::string run;
};

std::optional<Options> parse(const std::vector<std::string>& args, std::ostream& err) {
    Options o;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "--level") {
            const std::string v = hasValue ? args[++i] : "";
            if (v.size() != 1 || v[0] < '0' || v[0] > '9') {
                err << "qelvaro zip: --level needs a number from 0 to 9\n" << kUsage;
                return std::nullopt;
            }
            o.level = v[0] - '0';
        } else if (a == "--password") {
            if (!hasValue || args[i + 1].empty()) {
                err << "qelvaro zip: --password needs a password\n" << kUsage;
                return std::nullopt;
            }
            o.password = args[++i];
        } else if (a == "--sfx" || a == "--unpack-to" || a == "--run") {
            if (!hasValue || args[i + 1].empty()) {
                err << "qelvaro zip: " << a << " needs a value\n" << kUsage;
                return std::nullopt;
            }
            (a == "--sfx" ? o.stub : a == "--run" ? o.run : o.unpackTo) = args[++i];
        } else if (a == "--move") {
            o.move = true;
        } else if (a.size() > 1 && a[0] == '-') {
            err << "qelvaro zip: unknown option " << a << "\n" << kUsage;
            return std::nullopt;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) {
        err << kUsage;
        return std::nullopt;
    }
    o.folder = positional[0];
    o.archive = positional[1];
    return o;
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
    if (code != 0) {
        err << "qelvaro zip: " << zip.GetErrorDescription(0, code);
        if (!zip.lastErrorPath().empty()) err << ": " << zip.lastErrorPath();
        err << " (" << code << ")\n";
        return 1;
    }
    out << o->archive << ": " << last.lFilesProcessed << " files, " << last.lBytesTotal << " -> "
        << last.lBytesOutput << " bytes\n";
    return 0;
}

}  // namespace zipcomp
