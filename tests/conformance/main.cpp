// The conformance runner.
//   conformance --write FILE                       writes every case's answer (the oracle's table)
//   conformance --oracle FILE [--differences FILE] checks every answer against the table; a case
//                                                  listed as a deliberate difference must differ
#include "conformance.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>

namespace {

using namespace conf;

struct family {
    const char* name;
    void (*add)(cases&);
};
constexpr family families[] = {
    {"ChangeType", add_change_type}, {"VarFrom", add_var_from}, {"Variants", add_variants},
    {"Strings", add_strings},        {"Arrays", add_arrays},    {"Dispatch", add_dispatch},
    {"EntryPoints", add_entry_points},
};

std::string line_of(const answer& a) { return hex(static_cast<std::uint32_t>(a.hr), 8) + "\t" + a.vt + "\t" + a.value; }

struct result {
    std::string family, id, line;
};

// Runs every case; each answer goes to `each` as soon as it is known.
std::vector<result> run_all(const std::function<void(const result&)>& each = nullptr) {
    std::vector<result> out;
    std::set<std::string> seen;
    for (const family& f : families) {
        cases list;
        f.add(list);
        for (const test_case& c : list) {
            if (!seen.insert(c.id).second) {
                std::cerr << "case id twice: " << c.id << "\n";
                std::exit(2);
            }
            object_log::reset();
            const answer a = with_objects(c.run());
            out.push_back({f.name, c.id, line_of(a)});
            if (each) each(out.back());
        }
    }
    return out;
}

// id -> "HRESULT\tVT\tVALUE"
std::map<std::string, std::string> read_table(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        std::exit(2);
    }
    std::map<std::string, std::string> table;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto tab = line.find('\t');
        table[line.substr(0, tab)] = tab == std::string::npos ? std::string() : line.substr(tab + 1);
    }
    return table;
}

struct difference {
    std::string pattern, reason;
    int differing = 0;  // cases it covers that differ
    bool covers(const std::string& id) const {
        if (!pattern.empty() && pattern.back() == '*') return id.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
        return id == pattern;
    }
};

std::vector<difference> read_differences(const std::string& path) {
    std::vector<difference> out;
    if (path.empty()) return out;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        std::cerr << "cannot read " << path << "\n";
        std::exit(2);
    }
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        const auto tab = line.find('\t');
        out.push_back({line.substr(0, tab), tab == std::string::npos ? "" : line.substr(tab + 1)});
    }
    return out;
}

const char* const regenerate =
    "The standard runtime's answers are recorded under Wine by scripts/conformance-oracle.sh "
    "(see tests/conformance/README.md).";

class family_test : public ::testing::Test {
public:
    family_test(const std::vector<result>* results, const std::map<std::string, std::string>* oracle,
                std::vector<difference>* diffs, std::string name)
        : results_(results), oracle_(oracle), diffs_(diffs), name_(std::move(name)) {}
    void TestBody() override {
        int reported = 0, failed = 0;
        for (const result& r : *results_) {
            if (r.family != name_) continue;
            const auto it = oracle_->find(r.id);
            if (it == oracle_->end()) {
                ++failed;
                if (reported++ < 200) ADD_FAILURE() << "not in the oracle's table: " << r.id << "\n" << regenerate;
                continue;
            }
            difference* listed = nullptr;
            for (difference& d : *diffs_)
                if (d.covers(r.id)) listed = &d;
            if (it->second == r.line) {
                if (listed && listed->pattern == r.id) {
                    ++failed;
                    if (reported++ < 200) ADD_FAILURE() << "listed as a deliberate difference, but agrees: " << r.id;
                }
                continue;
            }
            if (listed) {
                ++listed->differing;
                continue;
            }
            ++failed;
            if (reported++ < 200)
                ADD_FAILURE() << r.id << "\n  table:  " << it->second << "\n  answer: " << r.line;
        }
        if (failed > reported) ADD_FAILURE() << failed - reported << " further failures";
    }

private:
    const std::vector<result>* results_;
    const std::map<std::string, std::string>* oracle_;
    std::vector<difference>* diffs_;
    std::string name_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    std::string write, oracle_path, differences_path;
    for (int k = 1; k + 1 < argc; k += 2) {
        const std::string opt = argv[k];
        if (opt == "--write") write = argv[k + 1];
        else if (opt == "--oracle") oracle_path = argv[k + 1];
        else if (opt == "--differences") differences_path = argv[k + 1];
        else {
            std::cerr << "unknown option " << opt << "\n";
            return 2;
        }
    }
    if (write.empty() == oracle_path.empty()) {
        std::cerr << "usage: conformance --write FILE | --oracle FILE [--differences FILE]\n";
        return 2;
    }
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (!write.empty()) {
        // Line by line, so that a case that brings the runtime down follows the last line.
        std::ofstream out(write, std::ios::binary | std::ios::trunc);
        out << "# The standard runtime's answers to the conformance cases: id, HRESULT, result type, value.\n"
               "# Written by scripts/conformance-oracle.sh under Wine; do not edit.\n";
        const auto results = run_all([&](const result& r) { out << r.id << "\t" << r.line << std::endl; });
        out.close();
        if (!out) {
            std::cerr << "cannot write " << write << "\n";
            return 1;
        }
        std::cout << results.size() << " answers written to " << write << "\n";
        return 0;
    }
    static const std::vector<result> results = run_all();

    static const std::map<std::string, std::string> oracle = read_table(oracle_path);
    static std::vector<difference> diffs = read_differences(differences_path);
    for (const family& f : families) {
        ::testing::RegisterTest("Conformance", f.name, nullptr, nullptr, __FILE__, __LINE__,
                                [name = std::string(f.name)]() -> ::testing::Test* {
                                    return new family_test(&results, &oracle, &diffs, name);
                                });
    }
    ::testing::RegisterTest("Conformance", "SameCases", nullptr, nullptr, __FILE__, __LINE__, []() -> ::testing::Test* {
        struct same_cases : ::testing::Test {
            void TestBody() override {
                std::set<std::string> ids;
                for (const result& r : results) ids.insert(r.id);
                int missing = 0;
                for (const auto& [id, line] : oracle)
                    if (!ids.count(id) && missing++ < 50) ADD_FAILURE() << "in the oracle's table, no longer a case: " << id;
                if (missing) ADD_FAILURE() << missing << " recorded cases are gone. " << regenerate;
            }
        };
        return new same_cases;
    });
    const int rc = RUN_ALL_TESTS();

    // Listed differences that no longer cover a differing case are stale.
    int stale = 0, deliberate = 0, agreeing = 0;
    for (const difference& d : diffs) {
        deliberate += d.differing;
        if (!d.differing) {
            ++stale;
            std::cerr << "deliberate difference that no longer differs: " << d.pattern << "\n";
        }
    }
    for (const result& r : results) {
        auto it = oracle.find(r.id);
        agreeing += it != oracle.end() && it->second == r.line;
    }
    std::cout << "conformance: " << results.size() << " cases, " << agreeing << " agree with the standard runtime, "
              << deliberate << " deliberate differences\n";
    CoUninitialize();
    return rc || stale ? 1 : 0;
}
