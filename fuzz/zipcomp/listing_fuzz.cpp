// Fuzzes the zip component's walk of a folder: a made-up tree (names of any bytes,
// files, folders, pipes, links inside and out of the folder, links that lead nowhere)
// served by an in-memory file access, and the FilesToProcess list. Beyond "does not
// crash" it checks that nothing is lost quietly: every entry the filter selects is
// either packed under its own relative path or named as left out, a link out of the
// folder is packed only when asked, and no name leaves the folder.
//
// Input: the pattern, then one entry per line: a kind letter, the path below the base
// folder, and for links a 0x00 and the target ("f" file, "d" folder, "p" pipe,
// "l" link to a file, "L" link to a folder, "b" link that leads nowhere).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "zipcomp/source_scan.h"
#include "zipcomp/zip_paths.h"

using namespace zipcomp;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

const std::string kBase = "/base";

struct Node {
    char kind = 'd';
    std::string target;  // for links
};

class TreeAccess final : public FileAccess {
public:
    std::map<std::string, Node> nodes;  // full path -> node; folders included

    IoStatus stat(const std::string& p, FileInfo& info) override {
        const Node* n = find(p);
        if (!n) return IoStatus::NotFound;
        if (n->kind == 'l') {
            const Node* t = find(n->target);
            if (!t || t->kind != 'f') return IoStatus::NotFound;
            return describe(*t, n->target, info);
        }
        if (n->kind == 'b') return IoStatus::NotFound;
        return describe(*n, p, info);
    }
    IoStatus statEntry(const std::string& p, FileInfo& info) override {
        const Node* n = find(p);
        return n ? describe(*n, p, info) : IoStatus::NotFound;
    }
    IoStatus list(const std::string& dir, std::vector<DirEntry>& entries) override {
        entries.clear();
        const Node* d = find(dir);
        if (!d || d->kind != 'd') return IoStatus::NotFound;
        std::string prefix = dir + "/";
        for (auto it = nodes.lower_bound(prefix); it != nodes.end() && it->first.rfind(prefix, 0) == 0; ++it) {
            std::string_view rest = std::string_view(it->first).substr(prefix.size());
            if (rest.find('/') != std::string_view::npos) continue;
            EntryKind k = EntryKind::File;
            switch (it->second.kind) {
            case 'd': k = EntryKind::Dir; break;
            case 'p': k = EntryKind::Special; break;
            case 'L': k = EntryKind::Other; break;
            case 'b': k = EntryKind::BrokenLink; break;
            case 'l': {
                const Node* t = find(it->second.target);
                k = t && t->kind == 'f' ? EntryKind::LinkToFile : EntryKind::BrokenLink;
                break;
            }
            }
            entries.push_back({std::string(rest), k});
        }
        return IoStatus::Ok;
    }
    IoStatus realPath(const std::string& p, std::string& out) override {
        const Node* n = find(p);
        if (!n) return IoStatus::NotFound;
        out = n->kind == 'l' ? n->target : p;
        return IoStatus::Ok;
    }
    IoStatus openRead(const std::string&, std::unique_ptr<ReadStream>&) override { return IoStatus::Other; }
    IoStatus createNew(const std::string&, std::unique_ptr<WriteStream>&) override { return IoStatus::Other; }
    IoStatus replace(const std::string&, const std::string&) override { return IoStatus::Other; }
    IoStatus remove(const std::string&) override { return IoStatus::Other; }
    IoStatus removeSource(const std::string&, const std::string&, const FileStamp&) override { return IoStatus::Other; }
    bool sameFile(const std::string& a, const std::string& b) override { return a == b; }

    const Node* find(const std::string& p) const {
        auto it = nodes.find(p);
        return it == nodes.end() ? nullptr : &it->second;
    }

private:
    IoStatus describe(const Node& n, const std::string& p, FileInfo& info) {
        info = {};
        info.isDir = n.kind == 'd';
        info.isFile = n.kind == 'f';
        info.size = p.size();
        info.stamp.fileId = std::hash<std::string>{}(p) | 1;
        info.stamp.device = 1;
        return IoStatus::Ok;
    }
};

// Adds `rel` below the base with its parents; false when a parent is not a folder or
// the name is one a file system never lists.
bool add(TreeAccess& fs, std::string_view rel, Node node) {
    std::string path = kBase;
    while (true) {
        auto slash = rel.find('/');
        std::string_view part = rel.substr(0, slash);
        if (part.empty() || part == "." || part == ".." || part.find('\0') != std::string_view::npos) return false;
        path += "/";
        path += part;
        if (slash == std::string_view::npos) break;
        auto [it, fresh] = fs.nodes.emplace(path, Node{});
        if (!fresh && it->second.kind != 'd') return false;
        rel.remove_prefix(slash + 1);
    }
    return fs.nodes.emplace(path, std::move(node)).second;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 8192) return 0;
    std::string_view in(reinterpret_cast<const char*>(data), size);
    auto nl = in.find('\n');
    std::string pattern(in.substr(0, nl));
    in = nl == std::string_view::npos ? std::string_view{} : in.substr(nl + 1);

    TreeAccess fs;
    fs.nodes[kBase] = Node{};
    fs.nodes["/outside"] = Node{};
    fs.nodes["/outside/secret"] = Node{'f', {}};
    while (!in.empty()) {
        nl = in.find('\n');
        std::string_view line = in.substr(0, nl);
        in = nl == std::string_view::npos ? std::string_view{} : in.substr(nl + 1);
        if (line.size() < 2 || std::string_view("fdplLb").find(line[0]) == std::string_view::npos) continue;
        char kind = line[0];
        line.remove_prefix(1);
        Node node{kind, {}};
        if (kind == 'l' || kind == 'L') {
            auto zero = line.find('\0');
            if (zero == std::string_view::npos) continue;
            std::string_view target = line.substr(zero + 1);
            line = line.substr(0, zero);
            node.target = target == "out" ? "/outside/secret" : kBase + "/" + std::string(target);
        }
        add(fs, line, node);
    }

    for (bool follow : {false, true}) {
        ScanOptions o;
        o.basePath = kBase;
        o.filesToProcess = pattern;
        o.followLinks = follow;
        ScanResult r = scanSources(fs, o);
        FileFilter filter(pattern);
        if (!filter.valid()) {
            check(r.code == ZipResult::InvalidPattern);
            continue;
        }
        if (r.code != ZipResult::Ok) {
            check(r.files.empty());
            continue;
        }
        std::set<std::string> packed, named;
        for (const auto& f : r.files) {
            check(f.entryName == f.relative);
            check(f.path == kBase + "/" + f.relative);
            check(packed.insert(f.relative).second);
            const Node* n = fs.find(f.path);
            check(n && (n->kind == 'f' || n->kind == 'l'));
            if (n->kind == 'l' && !follow) check(n->target.rfind(kBase + "/", 0) == 0);
            for (std::string_view rest = f.relative; !rest.empty();) {
                auto slash = rest.find('/');
                std::string_view part = rest.substr(0, slash);
                check(!part.empty() && part != "..");
                rest = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash + 1);
            }
        }
        for (const auto& s : r.skipped) check(named.insert(s.path).second && !packed.count(s.path));
        // Nothing the filter selects goes missing without a word.
        for (const auto& [path, node] : fs.nodes) {
            if (path.rfind(kBase + "/", 0) != 0 || node.kind == 'd') continue;
            std::string rel = path.substr(kBase.size() + 1);
            if (node.kind == 'L' || filter.matches(rel)) check(packed.count(rel) + named.count(rel) == 1);
        }
    }
    return 0;
}
