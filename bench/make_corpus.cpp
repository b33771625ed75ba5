// Benchmark corpus generator.
//
// Writes one corpus (a tree of files) plus the ground truth of what it holds:
//   OUT/NAME/tree/...          the files the tools scan
//   OUT/NAME/expected.json     duplicate sets, zero-byte files, hard links
//   OUT/NAME/manifest.json     parameters and totals; written last, so its
//                              presence means the corpus is complete
//
// Everything is a pure function of (kind, seed, scale, size-scale): the random
// generator and the distributions are our own, not <random>'s, whose
// distributions differ between standard libraries.
//
// Build: g++ -std=c++17 -O2 -o make_corpus make_corpus.cpp
// Usage: make_corpus --kind small|half|large|groups|pair|pair-sparse [--out DIR]
//                    [--seed N] [--scale F] [--size-scale F] [--force]

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int kGeneratorVersion = 1;

std::uint64_t splitmix(std::uint64_t x) {
    x += 0x9e3779b97f4a7c15ULL;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
    return x ^ (x >> 31);
}

class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(splitmix(seed)) {}
    std::uint64_t next() {
        state_ += 0x9e3779b97f4a7c15ULL;
        return splitmix(state_);
    }
    double unit() { return double(next() >> 11) * 0x1.0p-53; }  // [0, 1)
    std::uint64_t below(std::uint64_t n) { return n ? next() % n : 0; }
    std::uint64_t range(std::uint64_t lo, std::uint64_t hi) { return lo + below(hi - lo + 1); }

private:
    std::uint64_t state_;
};

template <class T>
void shuffle(std::vector<T>& v, Rng& rng) {
    for (std::size_t i = v.size(); i > 1; --i)
        std::swap(v[i - 1], v[rng.below(i)]);
}

// What a file contains. Copies share a Content; a near-duplicate is the same
// content with one byte flipped, which only a full read can tell apart.
struct Content {
    std::uint64_t size = 0;
    std::uint64_t seed = 0;     // random stream, used when counter_bytes == 0
    std::uint64_t counter = 0;  // tiny files: the counter's bytes, unique per size
    bool tiny = false;
    bool sparse = false;        // all zero bytes, written as a hole
    std::int64_t flip_at = -1;  // byte index XOR-ed with 0xFF, or -1
};

// Fills buf with bytes [offset, offset + len) of the content. The random
// stream is addressable by 8-byte word, so chunks can be produced in any order.
void fill(const Content& c, std::uint64_t offset, unsigned char* buf, std::size_t len) {
    if (c.sparse) {
        std::memset(buf, 0, len);
    } else if (c.tiny) {
        for (std::size_t i = 0; i < len; ++i) {
            std::uint64_t pos = offset + i;
            buf[i] = pos < 8 ? static_cast<unsigned char>(c.counter >> (8 * pos)) : 0;
        }
    } else {
        std::size_t i = 0;
        std::uint64_t pos = offset;
        // Unaligned head.
        while (i < len && (pos % 8) != 0) {
            std::uint64_t w = splitmix(c.seed ^ (pos / 8) * 0xd6e8feb86659fd93ULL);
            buf[i++] = static_cast<unsigned char>(w >> (8 * (pos % 8)));
            ++pos;
        }
        for (; i + 8 <= len; i += 8, pos += 8) {
            std::uint64_t w = splitmix(c.seed ^ (pos / 8) * 0xd6e8feb86659fd93ULL);
            std::memcpy(buf + i, &w, 8);  // byte order is part of the format only on this host
        }
        for (; i < len; ++i, ++pos) {
            std::uint64_t w = splitmix(c.seed ^ (pos / 8) * 0xd6e8feb86659fd93ULL);
            buf[i] = static_cast<unsigned char>(w >> (8 * (pos % 8)));
        }
    }
    if (c.flip_at >= 0 && std::uint64_t(c.flip_at) >= offset &&
        std::uint64_t(c.flip_at) < offset + len)
        buf[c.flip_at - offset] ^= 0xFF;
}

enum class Kind { Original, Copy, NearDup, Zero, HardLink };

struct Entry {
    Kind kind = Kind::Original;
    int content = -1;  // index into contents; -1 for zero-byte files
    int link_to = -1;  // entry index, for hard links
    std::string rel;   // path relative to the tree root
};

struct Params {
    std::string kind = "small";
    std::string out = "bench/out";
    std::uint64_t seed = 20240601;
    double scale = 1.0;
    double size_scale = 1.0;
    bool force = false;
};

[[noreturn]] void die(const std::string& msg) {
    std::fprintf(stderr, "make_corpus: %s\n", msg.c_str());
    std::exit(1);
}

std::string json_escape(const std::string& s) {
    std::string o;
    o.reserve(s.size() + 2);
    o += '"';
    for (unsigned char ch : s) {
        if (ch == '"' || ch == '\\') {
            o += '\\';
            o += static_cast<char>(ch);
        } else if (ch < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", ch);
            o += b;
        } else {
            o += static_cast<char>(ch);  // UTF-8 passes through
        }
    }
    o += '"';
    return o;
}

// Directory layout: a random tree at most `max_depth` deep, filled folder by
// folder with 50-200 files each, so leaves and inner folders both hold files.
std::vector<std::string> make_dirs(std::size_t count, int max_depth, Rng& rng) {
    struct D {
        std::string path;
        int depth;
        int children;
    };
    std::vector<D> dirs{{"", 0, 0}};
    while (dirs.size() < count) {
        std::size_t p;
        do
            p = rng.below(dirs.size());
        while (dirs[p].depth >= max_depth);
        int n = dirs[p].children++;
        char name[32];
        std::snprintf(name, sizeof name, "%s%02d", dirs[p].depth % 2 ? "sub" : "dir", n);
        std::string path = dirs[p].path.empty() ? name : dirs[p].path + "/" + name;
        dirs.push_back({path, dirs[p].depth + 1, 0});
    }
    std::vector<std::string> out;
    for (auto& d : dirs)
        out.push_back(d.path);
    return out;
}

std::string file_name(std::size_t id, Rng& rng) {
    // A mix of shapes real trees have: spaces, non-ASCII, no extension.
    static const char* const patterns[] = {"f%06zu.dat",    "IMG_%06zu.jpg",
                                           "doc %06zu.txt", "caf\xc3\xa9_%06zu.bin",
                                           "data-%06zu",    "Report %06zu (final).pdf"};
    const char* pat = patterns[rng.below(sizeof patterns / sizeof patterns[0])];
    char buf[64];
    std::snprintf(buf, sizeof buf, pat, id);
    return buf;
}

struct Plan {
    std::vector<Content> contents;
    std::vector<Entry> entries;
    std::uint64_t total_bytes = 0;
};

// Small files: log-uniform sizes from 1 byte to 1 MiB, ~10% copies, a few
// near-duplicates, a handful of zero-byte files and hard links.
Plan plan_small(std::size_t n_files, const Params& p, Rng& rng) {
    Plan plan;
    const std::uint64_t max_size =
        std::max<std::uint64_t>(16, std::uint64_t(1048576 * p.size_scale));
    const std::size_t n_zero = std::max<std::size_t>(3, n_files / 5000);
    const std::size_t n_links = std::max<std::size_t>(2, n_files / 10000);
    const std::size_t n_near = std::max<std::size_t>(2, n_files / 200);
    const std::size_t n_copies = n_files / 10;
    const std::size_t n_orig = n_files - n_zero - n_near - n_copies;

    // Files up to 8 bytes carry a per-size counter so that no two originals
    // are accidentally equal; a size whose counter space is used up moves
    // to the next size.
    std::map<std::uint64_t, std::uint64_t> tiny_used;
    for (std::size_t i = 0; i < n_orig; ++i) {
        Content c;
        std::uint64_t size = std::uint64_t(std::exp(rng.unit() * std::log(double(max_size) + 1.0)));
        size = std::clamp<std::uint64_t>(size, 1, max_size);
        if (size <= 8) {
            while (size <= 8) {
                std::uint64_t cap = size >= 8 ? UINT64_MAX : (1ULL << (8 * size));
                if (tiny_used[size] < cap)
                    break;
                ++size;
            }
        }
        c.size = size;
        if (size <= 8) {
            c.tiny = true;
            c.counter = tiny_used[size]++;
        } else {
            c.seed = rng.next();
        }
        plan.contents.push_back(c);
        plan.entries.push_back({Kind::Original, int(i), -1, {}});
    }

    // Copies: most groups are pairs, some have 3-7 members.
    std::vector<int> order(n_orig);
    for (std::size_t i = 0; i < n_orig; ++i)
        order[i] = int(i);
    shuffle(order, rng);
    std::size_t made = 0, pick = 0;
    while (made < n_copies && pick < order.size()) {
        double u = rng.unit();
        std::size_t extra = u < 0.7 ? 1 : u < 0.9 ? 2 : rng.range(3, 6);
        extra = std::min(extra, n_copies - made);
        int c = order[pick++];
        for (std::size_t k = 0; k < extra; ++k)
            plan.entries.push_back({Kind::Copy, c, -1, {}});
        made += extra;
    }

    // Near-duplicates of larger originals (never of counter files, where a
    // flipped byte could land on another original's content). The flipped
    // byte is mostly in the middle, sometimes at either end.
    std::vector<int> big;
    for (std::size_t i = 0; i < n_orig; ++i)
        if (!plan.contents[i].tiny && plan.contents[i].size > 64)
            big.push_back(int(i));
    // Distinct bases: two twins of one base flipped at the same byte would
    // be duplicates of each other.
    shuffle(big, rng);
    for (std::size_t k = 0; k < n_near && k < big.size(); ++k) {
        Content c = plan.contents[big[k]];
        double u = rng.unit();
        c.flip_at = u < 0.7 ? std::int64_t(c.size / 2) : u < 0.85 ? 0 : std::int64_t(c.size - 1);
        plan.contents.push_back(c);
        plan.entries.push_back({Kind::NearDup, int(plan.contents.size() - 1), -1, {}});
    }
    for (std::size_t k = 0; k < n_zero; ++k)
        plan.entries.push_back({Kind::Zero, -1, -1, {}});

    // Place everything but hard links, shuffled, folder by folder.
    shuffle(plan.entries, rng);
    std::vector<std::string> dirs = make_dirs(std::max<std::size_t>(1, n_files / 125 + 1), 4, rng);
    std::size_t d = 0, left_in_dir = rng.range(50, 200);
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
        if (left_in_dir == 0) {
            d = (d + 1) % dirs.size();
            left_in_dir = rng.range(50, 200);
        }
        --left_in_dir;
        std::string name = file_name(i, rng);
        plan.entries[i].rel = dirs[d].empty() ? name : dirs[d] + "/" + name;
    }

    // Hard links to non-empty files, each in some other folder.
    std::size_t placed = plan.entries.size();
    for (std::size_t k = 0; k < n_links; ++k) {
        std::size_t target;
        do
            target = rng.below(placed);
        while (plan.entries[target].kind == Kind::Zero);
        const std::string& dir = dirs[rng.below(dirs.size())];
        std::string name = "link " + std::to_string(k) + ".lnk";
        Entry e{Kind::HardLink, plan.entries[target].content, int(target),
                dir.empty() ? name : dir + "/" + name};
        plan.entries.push_back(e);
    }
    return plan;
}

// Large files: log-uniform 5-200 MiB, ~20% copies, and pairs that differ in
// one byte in the middle (some of whose bases also have an exact copy).
Plan plan_large(std::size_t n_files, const Params& p, Rng& rng) {
    Plan plan;
    const double lo = 5.0 * 1048576 * p.size_scale, hi = 200.0 * 1048576 * p.size_scale;
    const std::size_t n_pairs = std::max<std::size_t>(2, n_files / 20);
    const std::size_t n_copies = n_files / 5;
    const std::size_t n_orig = n_files - n_copies - n_pairs;

    for (std::size_t i = 0; i < n_orig; ++i) {
        Content c;
        c.size = std::uint64_t(std::exp(std::log(lo) + rng.unit() * (std::log(hi) - std::log(lo))));
        c.seed = rng.next();
        plan.contents.push_back(c);
        plan.entries.push_back({Kind::Original, int(i), -1, {}});
    }
    // The first n_pairs originals get a one-byte-different twin; copies start
    // half-way through those, so some twins' bases have exact copies too.
    for (std::size_t k = 0; k < n_pairs && k < n_orig; ++k) {
        Content c = plan.contents[k];
        c.flip_at = std::int64_t(c.size / 2);
        plan.contents.push_back(c);
        plan.entries.push_back({Kind::NearDup, int(plan.contents.size() - 1), -1, {}});
    }
    std::size_t made = 0;
    for (std::size_t i = n_pairs / 2; i < n_orig && made < n_copies; ++i) {
        std::size_t extra = std::min<std::size_t>(rng.unit() < 0.75 ? 1 : 2, n_copies - made);
        for (std::size_t k = 0; k < extra; ++k)
            plan.entries.push_back({Kind::Copy, int(i), -1, {}});
        made += extra;
    }
    shuffle(plan.entries, rng);
    std::vector<std::string> dirs = make_dirs(std::max<std::size_t>(2, n_files / 20), 2, rng);
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
        const std::string& dir = dirs[rng.below(dirs.size())];
        char name[48];
        std::snprintf(name, sizeof name, "blob %04zu.bin", i);
        plan.entries[i].rel = dir.empty() ? name : dir + "/" + name;
    }
    return plan;
}

// Many small groups: 4 files each, 16-100 bytes, every group its own
// contents, the copies of a group in different folders. What it measures is
// the memory a large result takes (200,000 files in 50,000 groups).
Plan plan_groups(std::size_t n_groups, Rng& rng) {
    Plan plan;
    for (std::size_t g = 0; g < n_groups; ++g) {
        Content c;
        c.size = rng.range(16, 100);
        c.seed = rng.next();
        plan.contents.push_back(c);
        for (int k = 0; k < 4; ++k)
            plan.entries.push_back({k ? Kind::Copy : Kind::Original, int(g), -1, {}});
    }
    shuffle(plan.entries, rng);
    std::vector<std::string> dirs = make_dirs(std::max<std::size_t>(2, plan.entries.size() / 200), 3, rng);
    for (std::size_t i = 0; i < plan.entries.size(); ++i) {
        char name[48];
        std::snprintf(name, sizeof name, "g%07zu.txt", i);
        const std::string& dir = dirs[i % dirs.size()];
        plan.entries[i].rel = dir.empty() ? name : dir + "/" + name;
    }
    return plan;
}

// Two equal files of 2 GiB beside a third that differs from them in the byte
// at 1 GiB: only reading to the middle tells the third apart, only reading
// to the end proves the first two equal. Sparse: all holes but that byte.
Plan plan_pair(const Params& p, bool sparse, Rng& rng) {
    Plan plan;
    Content c;
    c.size = std::max<std::uint64_t>(4096, std::uint64_t(2147483648.0 * p.size_scale));
    c.seed = rng.next();
    c.sparse = sparse;
    plan.contents.push_back(c);
    c.flip_at = std::int64_t(c.size / 2);
    plan.contents.push_back(c);
    plan.entries.push_back({Kind::Original, 0, -1, "a.bin"});
    plan.entries.push_back({Kind::Copy, 0, -1, "b.bin"});
    plan.entries.push_back({Kind::NearDup, 1, -1, "c.bin"});
    return plan;
}

void write_sparse(const fs::path& path, const Content& c) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::ftruncate(fd, off_t(c.size)) != 0)
        die("cannot create " + path.string() + ": " + std::strerror(errno));
    if (c.flip_at >= 0) {
        const unsigned char b = 0xFF;
        if (::pwrite(fd, &b, 1, off_t(c.flip_at)) != 1)
            die("write " + path.string() + ": " + std::strerror(errno));
    }
    if (::close(fd) != 0)
        die("close " + path.string() + ": " + std::strerror(errno));
}

void write_file(const fs::path& path, const Content* c, std::vector<unsigned char>& buf) {
    if (c && c->sparse) {
        write_sparse(path, *c);
        return;
    }
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        die("cannot create " + path.string() + ": " + std::strerror(errno));
    if (c) {
        std::uint64_t off = 0;
        while (off < c->size) {
            std::size_t len = std::size_t(std::min<std::uint64_t>(buf.size(), c->size - off));
            fill(*c, off, buf.data(), len);
            std::size_t done = 0;
            while (done < len) {
                ssize_t w = ::write(fd, buf.data() + done, len - done);
                if (w < 0) {
                    if (errno == EINTR)
                        continue;
                    die("write " + path.string() + ": " + std::strerror(errno));
                }
                done += std::size_t(w);
            }
            off += len;
        }
    }
    if (::close(fd) != 0)
        die("close " + path.string() + ": " + std::strerror(errno));
}

std::string params_key(const Params& p) {
    char b[160];
    std::snprintf(b, sizeof b, "v%d kind=%s seed=%" PRIu64 " scale=%g size_scale=%g",
                  kGeneratorVersion, p.kind.c_str(), p.seed, p.scale, p.size_scale);
    return b;
}

Params parse(int argc, char** argv) {
    Params p;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                die("missing value for " + a);
            return argv[++i];
        };
        if (a == "--kind")
            p.kind = value();
        else if (a == "--out")
            p.out = value();
        else if (a == "--seed")
            p.seed = std::strtoull(value().c_str(), nullptr, 10);
        else if (a == "--scale")
            p.scale = std::atof(value().c_str());
        else if (a == "--size-scale")
            p.size_scale = std::atof(value().c_str());
        else if (a == "--force")
            p.force = true;
        else if (a == "-h" || a == "--help") {
            std::printf(
                "usage: make_corpus --kind small|half|large|groups|pair|pair-sparse [--out DIR]\n"
                "                   [--seed N]\n"
                "                   [--scale F] [--size-scale F] [--force]\n");
            std::exit(0);
        } else
            die("unknown argument " + a);
    }
    if (p.kind != "small" && p.kind != "half" && p.kind != "large" && p.kind != "groups" &&
        p.kind != "pair" && p.kind != "pair-sparse")
        die("--kind must be small, half, large, groups, pair or pair-sparse");
    if (!(p.scale > 0) || !(p.size_scale > 0))
        die("--scale and --size-scale must be positive");
    return p;
}

}  // namespace

int main(int argc, char** argv) {
    Params p = parse(argc, argv);
    const fs::path base = fs::path(p.out) / p.kind;
    const fs::path manifest = base / "manifest.json";
    const std::string key = params_key(p);

    if (!p.force && fs::exists(manifest)) {
        std::FILE* f = std::fopen(manifest.c_str(), "r");
        std::string text;
        char chunk[4096];
        std::size_t n;
        while (f && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            text.append(chunk, n);
        if (f)
            std::fclose(f);
        if (text.find(json_escape(key)) != std::string::npos) {
            std::printf("%s: up to date (%s)\n", base.c_str(), key.c_str());
            return 0;
        }
    }

    // "half" is the small distribution at half the file count; its own seed
    // keeps it from being a subset of "small".
    Rng rng(p.seed ^ (p.kind == "small" ? 0x5111 : p.kind == "half" ? 0x4a1f : 0x1a63e));
    Plan plan;
    if (p.kind == "large") {
        plan =
            plan_large(std::max<std::size_t>(20, std::size_t(std::llround(200 * p.scale))), p, rng);
    } else if (p.kind == "groups") {
        plan = plan_groups(std::max<std::size_t>(100, std::size_t(std::llround(50000 * p.scale))),
                           rng);
    } else if (p.kind == "pair" || p.kind == "pair-sparse") {
        plan = plan_pair(p, p.kind == "pair-sparse", rng);
    } else {
        double n = (p.kind == "small" ? 100000 : 50000) * p.scale;
        plan = plan_small(std::max<std::size_t>(100, std::size_t(std::llround(n))), p, rng);
    }
    for (const Entry& e : plan.entries)
        if (e.kind != Kind::HardLink && e.content >= 0 && !plan.contents[e.content].sparse)
            plan.total_bytes += plan.contents[e.content].size;

    fs::create_directories(base);
    struct statvfs sv {};
    if (::statvfs(base.c_str(), &sv) == 0) {
        std::uint64_t avail = std::uint64_t(sv.f_bavail) * sv.f_frsize;
        std::uint64_t old = 0;  // space the tree we replace gives back
        std::error_code ec;
        if (fs::exists(base / "tree"))
            for (auto& it : fs::recursive_directory_iterator(base / "tree", ec))
                if (it.is_regular_file(ec))
                    old += it.file_size(ec);
        const std::uint64_t margin = 2ULL << 30;
        if (plan.total_bytes + margin > avail + old)
            die("needs " + std::to_string(plan.total_bytes >> 20) + " MiB but only " +
                std::to_string((avail + old) >> 20) +
                " MiB are free (keeping 2 GiB spare); "
                "use a smaller --scale or --size-scale");
    }

    std::printf("%s: writing %zu files, %.2f GiB (%s)\n", base.c_str(), plan.entries.size(),
                double(plan.total_bytes) / (1 << 30), key.c_str());
    std::fflush(stdout);
    fs::remove(manifest);
    fs::remove_all(base / "tree");
    const fs::path tree = base / "tree";
    fs::create_directories(tree);

    std::vector<unsigned char> buf(p.kind == "large" || p.kind == "pair" ? (8u << 20) : (1u << 20));
    for (const Entry& e : plan.entries) {
        if (e.kind == Kind::HardLink)
            continue;
        fs::path path = tree / e.rel;
        fs::create_directories(path.parent_path());
        write_file(path, e.content >= 0 ? &plan.contents[e.content] : nullptr, buf);
    }
    for (const Entry& e : plan.entries) {
        if (e.kind != Kind::HardLink)
            continue;
        fs::path path = tree / e.rel;
        fs::create_directories(path.parent_path());
        fs::create_hard_link(tree / plan.entries[e.link_to].rel, path);
    }

    // Ground truth: entries grouped by content; a hard link joins the set of
    // its target. Zero-byte files are listed apart and belong to no set.
    std::map<int, std::vector<std::string>> by_content;
    std::vector<std::string> zero;
    std::vector<std::pair<std::string, std::string>> links;
    std::size_t n_copy = 0, n_near = 0;
    for (const Entry& e : plan.entries) {
        if (e.kind == Kind::Zero) {
            zero.push_back(e.rel);
            continue;
        }
        if (e.kind == Kind::Copy)
            ++n_copy;
        if (e.kind == Kind::NearDup)
            ++n_near;
        if (e.kind == Kind::HardLink)
            links.emplace_back(e.rel, plan.entries[e.link_to].rel);
        by_content[e.content].push_back(e.rel);
    }
    std::vector<std::vector<std::string>> sets;
    for (auto& [c, paths] : by_content) {
        if (paths.size() < 2)
            continue;
        std::sort(paths.begin(), paths.end());
        sets.push_back(paths);
    }
    std::sort(sets.begin(), sets.end());
    std::sort(zero.begin(), zero.end());
    std::sort(links.begin(), links.end());

    {
        std::FILE* f = std::fopen((base / "expected.json").c_str(), "w");
        if (!f)
            die("cannot write expected.json");
        std::fprintf(f, "{\n\"root\": \"tree\",\n\"duplicate_sets\": [\n");
        for (std::size_t i = 0; i < sets.size(); ++i) {
            std::fprintf(f, " [");
            for (std::size_t j = 0; j < sets[i].size(); ++j)
                std::fprintf(f, "%s%s", j ? ", " : "", json_escape(sets[i][j]).c_str());
            std::fprintf(f, "]%s\n", i + 1 < sets.size() ? "," : "");
        }
        std::fprintf(f, "],\n\"zero_byte_files\": [");
        for (std::size_t i = 0; i < zero.size(); ++i)
            std::fprintf(f, "%s%s", i ? ", " : "", json_escape(zero[i]).c_str());
        std::fprintf(f, "],\n\"hard_links\": [");
        for (std::size_t i = 0; i < links.size(); ++i)
            std::fprintf(f, "%s[%s, %s]", i ? ", " : "", json_escape(links[i].first).c_str(),
                         json_escape(links[i].second).c_str());
        std::fprintf(f, "]\n}\n");
        if (std::fclose(f) != 0)
            die("writing expected.json failed");
    }
    {
        std::FILE* f = std::fopen(manifest.c_str(), "w");
        if (!f)
            die("cannot write manifest.json");
        std::fprintf(
            f,
            "{\"params\": %s, \"entries\": %zu, \"regular_files\": %zu, \"bytes\": %" PRIu64
            ", \"copies\": %zu, \"near_duplicates\": %zu, \"zero_byte\": %zu, "
            "\"hard_links\": %zu, \"duplicate_sets\": %zu}\n",
            json_escape(key).c_str(), plan.entries.size(), plan.entries.size() - links.size(),
            plan.total_bytes, n_copy, n_near, zero.size(), links.size(), sets.size());
        if (std::fclose(f) != 0)
            die("writing manifest.json failed");
    }
    std::printf(
        "%s: done: %zu duplicate sets, %zu copies, %zu near-duplicates, %zu zero-byte, %zu hard "
        "links\n",
        base.c_str(), sets.size(), n_copy, n_near, zero.size(), links.size());
    return 0;
}
