// Fuzz target for the free-form reader: the same bytes are read from a stored
// line and, as a text file, by the file reader. Apart from not crashing, a
// line read both ways must give the same values or the same failure, a
// byte-order mark before a file's first line must change nothing, and a
// repeat count of 1 before its first value must change nothing.
//
// Input: byte 0 gives the number of items (1..12), the next bytes the kind of
// each item (integer, real, or character of declared length 1, 4, 10 or 30);
// the rest is the text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/records.hpp"

using namespace tacsim;

namespace {

struct Values {
    int ints[12];
    float reals[12];
    std::string texts[12];
    Values() {
        for (int k = 0; k < 12; ++k) {
            ints[k] = 7777;
            reals[k] = -1.5f;
            texts[k] = "init";
        }
    }
};

struct Plan {
    int n = 0;
    unsigned char kind[12];  // 0 integer, 1 real, 2.. character
};

std::vector<InItem> items_for(const Plan& plan, Values& v) {
    static const int lens[4] = {1, 4, 10, 30};
    std::vector<InItem> items;
    for (int k = 0; k < plan.n; ++k) {
        const unsigned char c = plan.kind[k];
        if (c % 3 == 0) items.emplace_back(v.ints[k]);
        else if (c % 3 == 1) items.emplace_back(v.reals[k]);
        else items.emplace_back(v.texts[k], lens[(c / 3) % 4]);
    }
    return items;
}

bool same(const Values& a, const Values& b) {
    for (int k = 0; k < 12; ++k) {
        if (a.ints[k] != b.ints[k]) return false;
        if (std::memcmp(&a.reals[k], &b.reals[k], sizeof(float)) != 0) return false;
        if (a.texts[k] != b.texts[k]) return false;
    }
    return true;
}

// Outcome of one read: nullopt when it ended normally, else the message
// ("" for a file that ended before any value).
using Outcome = std::optional<std::string>;

// Every read of the text as a file, until it ends or fails: the values after
// each read and the outcome of the last one.
struct FileReads {
    std::vector<Values> values;
    Outcome last;
    bool operator==(const FileReads& o) const {
        if (values.size() != o.values.size() || last != o.last) return false;
        for (std::size_t k = 0; k < values.size(); ++k)
            if (!same(values[k], o.values[k])) return false;
        return true;
    }
};

FileReads read_as_file(const Plan& plan, std::string_view text) {
    // Every read takes at least one line, so there can be no more reads than
    // lines.
    std::size_t lines = 1;
    for (char c : text) lines += c == '\n';
    FileReads r;
    InFile in;
    in.open_text(text, "t");
    Values v;
    auto items = items_for(plan, v);
    for (;;) {
        try {
            if (!in.list_read(std::span<const InItem>(items))) {
                r.last = "";
                break;
            }
        } catch (const RecordError& e) {
            r.last = e.what();
            break;
        }
        r.values.push_back(v);
        if (r.values.size() > lines) std::abort();  // a read that takes no line
    }
    return r;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

Outcome read_stored(const Plan& plan, std::string_view line, Values& v) {
    auto items = items_for(plan, v);
    try {
        list_read(line, std::span<const InItem>(items), Where{"t", 1});
    } catch (const RecordError& e) {
        return e.what();
    }
    return std::nullopt;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    Plan plan;
    plan.n = 1 + data[0] % 12;
    std::size_t at = 1;
    for (int k = 0; k < plan.n; ++k) plan.kind[k] = at < size ? data[at++] : 1;
    const std::string_view text(reinterpret_cast<const char*>(data) + at, size - at);

    // From a stored line.
    Values v1;
    const Outcome o1 = read_stored(plan, text, v1);

    // The whole text as a file, read over and over until it ends. A
    // byte-order mark before it is no part of its first line (only the first
    // of two is).
    const FileReads whole = read_as_file(plan, text);
    std::string marked(kByteOrderMark);
    marked += text;
    if (!text.starts_with(kByteOrderMark) && !(read_as_file(plan, marked) == whole)) {
        std::fprintf(stderr, "a byte-order mark first changes what the file reads\n");
        std::abort();
    }

    // A single line: both readers must agree (a file that ends before any
    // value is the stored line's "End of file"). A stored line is a record
    // taken from a file, so it never holds the file's byte-order mark.
    if (text.find('\n') == std::string_view::npos) {
        std::string_view line = text;
        if (line.starts_with(kByteOrderMark)) line.remove_prefix(kByteOrderMark.size());
        Values vs;
        const Outcome os = read_stored(plan, line, vs);
        Values v2;
        Outcome o2;
        {
            InFile in;
            in.open_text(text, "t");
            auto items = items_for(plan, v2);
            try {
                if (!in.list_read(std::span<const InItem>(items))) o2 = "";
            } catch (const RecordError& e) {
                o2 = e.what();
            }
        }
        if (o2 && o2->empty() && os && os->find("End of file") == 0) o2 = os;
        if (os != o2 || (!os && !same(vs, v2))) {
            std::fprintf(stderr, "stored line: %s\nfile:        %s\n", os ? os->c_str() : "read",
                         o2 ? o2->c_str() : "read");
            std::abort();
        }
    }

    // A repeat count of 1 changes nothing: "1*v" reads as "v" (quoted or not),
    // when the line opens with a value that is not itself a repeat form.
    const std::size_t first = text.find_first_not_of(" \t");
    if (first != std::string_view::npos && text.find('\n') == std::string_view::npos) {
        const char c = text[first];
        const std::size_t end = text.find_first_of(" \t,/", first);
        const std::string_view tok = text.substr(first, end == std::string_view::npos ? end : end - first);
        const bool plain = c != ',' && c != '/' && tok.find_first_of("*'\"") == std::string_view::npos;
        if (c == '\'' || c == '"' || plain) {
            std::string once(text.substr(0, first));
            once += "1*";
            once += text.substr(first);
            Values v3;
            const Outcome o3 = read_stored(plan, once, v3);
            if (o1 != o3 || (!o1 && !same(v1, v3))) {
                std::fprintf(stderr, "v:   %s\n1*v: %s\n", o1 ? o1->c_str() : "read", o3 ? o3->c_str() : "read");
                std::abort();
            }
        }
    }
    return 0;
}
