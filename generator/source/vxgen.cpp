// vxgen: turns a controller description into the controller's C modules and
// its symbol file. Nothing is written unless the whole description is sound,
// and what is written replaces the old files only once every file is ready.
#include <CLI/CLI.hpp>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "vx/grafcet/check.hpp"
#include "vx/grafcet/codegen.hpp"
#include "vx/grafcet/description.hpp"
#include "vx/grafcet/graph_file.hpp"
#include "vx_version.h"

namespace fs = std::filesystem;
using namespace vx::grafcet;

namespace {

struct Output {
    fs::path path;
    std::string text;
};

// Writes every file beside its destination, then renames them into place.
bool write_all(const std::vector<Output>& outputs) {
    std::vector<fs::path> written;
    const auto discard = [&] {
        std::error_code ignored;
        for (const fs::path& p : written) fs::remove(p, ignored);
    };
    for (const Output& o : outputs) {
        const fs::path temporary = o.path.string() + ".tmp";
        std::error_code ec;
        fs::create_directories(o.path.parent_path().empty() ? fs::path(".") : o.path.parent_path(), ec);
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        written.push_back(temporary);
        if (!out || !(out << o.text) || !(out.flush())) {
            std::cerr << "vxgen: cannot write " << temporary.string() << ": " << std::strerror(errno) << "\n";
            discard();
            return false;
        }
    }
    for (std::size_t k = 0; k < outputs.size(); ++k) {
        std::error_code ec;
        fs::rename(written[k], outputs[k].path, ec);
        if (ec) {
            std::cerr << "vxgen: cannot write " << outputs[k].path.string() << ": " << ec.message() << "\n";
            discard();
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // `vxgen check DESCRIPTION ...` proves invariants instead of generating.
    if (argc > 1 && std::strcmp(argv[1], "check") == 0) return check_command(argc - 1, argv + 1);
    CLI::App app{"Generates a controller's C modules and symbol file from its description.", "vxgen"};
    std::string description;
    std::string out_dir;
    std::string symbols_file;
    std::string expected_graph;
    std::string graph_file;
    app.add_option("description", description, "the controller description")->required();
    app.add_option("-o,--out", out_dir, "directory of the generated modules")->required();
    app.add_option("-s,--symbols", symbols_file, "the symbol file (default: <graph>.vars in the output directory)");
    app.add_option("-g,--graph", expected_graph, "refuse a description whose graph has another name");
    app.add_option("--graph-file", graph_file, "also write the graph's structure (steps, transitions) to this file");
    app.set_version_flag("--version", std::string("vxgen ") + vx_version() + " (commit " + vx_commit() + ")",
                         "print the version and the commit vxgen was built from");
    app.footer("Example:\n  vxgen --graph tarvo --out build/tarvo --symbols build/bin/tarvo.vars "
               "controllers/tarvo/tarvo.grafcet\n\n"
               "Proving invariants instead (vxgen check --help):\n"
               "  vxgen check controllers/tarvo/tarvo.grafcet --scenario scenarios/tarvo.scn");
    if (argc < 2) {
        // No description: introduce vxgen rather than complain.
        std::cout << app.help();
        return 0;
    }
    CLI11_PARSE(app, argc, argv);

    std::string text;
    if (!read_text_file(description, text)) {
        std::cerr << "vxgen: cannot read " << description << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    ParsedDescription parsed = parse_description(text, description);
    if (parsed.graph && !expected_graph.empty() && parsed.graph->name != expected_graph) {
        parsed.errors.push_back({description, parsed.graph->name_line,
                                 "the graph is named '" + parsed.graph->name + "' but this program is '" +
                                     expected_graph + "'"});
    }
    if (!parsed.errors.empty()) {
        for (const Diagnostic& d : parsed.errors) std::cerr << d.text() << "\n";
        std::cerr << "vxgen: " << parsed.errors.size() << (parsed.errors.size() == 1 ? " error" : " errors")
                  << "; nothing written\n";
        return 1;
    }

    const Graph& graph = *parsed.graph;
    const GraphLayout layout = derive_layout(graph);
    std::vector<Output> outputs;
    for (GeneratedFile& f : generate_modules(graph, layout, fs::path(description).filename().string()))
        outputs.push_back({fs::path(out_dir) / f.name, std::move(f.text)});
    GeneratedFile symbols = generate_symbols(graph, layout);
    outputs.push_back({symbols_file.empty() ? fs::path(out_dir) / symbols.name : fs::path(symbols_file),
                       std::move(symbols.text)});
    if (!graph_file.empty()) outputs.push_back({fs::path(graph_file), generate_graph_file(graph).text});
    return write_all(outputs) ? 0 : 1;
}
