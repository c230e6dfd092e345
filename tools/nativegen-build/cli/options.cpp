#include "tools/nativegen-build/cli/options.h"

#include <algorithm>
#include <set>

#include "tools/nativegen-build/cli/outputs.h"
#include "tools/nativegen-build/library/compress.h"
#include "tools/nativegen-build/library/targets.h"

namespace frontend {

std::string Usage() {
    const std::string p = kProgram, pad(p.size(), ' ');
    return "usage: " + p + " ROOT HEADER [--depfile FILE [--depfile-target FILE]] [--strict]\n" +
           "       " + pad + " [--safe-identifiers] [--stamp FILE]\n" +
           "       " + p + " ROOT DIR --library NAME [--namespace NS] [--data incbin|msvc]\n" +
           "       " + pad + " [--compress[=LEVEL]]\n" +
           "       " + pad + " [--files GLOB... [--exclude GLOB]... [--skip-folder DIR]...\n" +
           "       " + pad + "  [--read-from-source]]\n" +
           "       " + pad + " [--target " + library::TargetNames("|", "|") + "]\n" +
           "       " + pad + " [--depfile FILE [--depfile-target FILE]] [--strict] [--stamp FILE]\n" +
           "       " + p + " --check-names --library NAME [--namespace NS] [--compress[=LEVEL]]\n" +
           "       " + pad + " [--target TARGET]\n" +
           "       " + p + " --help | --version\n";
}


namespace {

// Is the --target of `options` one the front end knows? When not, `why` says so.
bool KnownTarget(const Options& options, std::string* why) {
    if (std::uint64_t limit; library::BlobLimit(options.target, &limit)) return true;
    *why = "--target takes " + library::TargetNames(", ", " or ") + ", not " + options.target;
    return false;
}

}  // namespace

bool ParseArguments(const std::vector<std::string>& arguments, Options* options, std::string* why) {
    std::vector<std::string> positional;
    std::set<std::string> seen;  // the options given so far
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        std::string* value = a == "--depfile"          ? &options->depfile
                             : a == "--depfile-target" ? &options->depfileTarget
                             : a == "--stamp"          ? &options->stamp
                             : a == "--library"   ? &options->library
                             : a == "--namespace" ? &options->nameSpace
                             : a == "--data"      ? &options->data
                             : a == "--target"    ? &options->target
                                                  : nullptr;
        std::vector<std::string>* globs = a == "--files"         ? &options->files
                                          : a == "--exclude"     ? &options->exclude
                                          : a == "--skip-folder" ? &options->skip
                                                                 : nullptr;
        // a second value would silently win over the first
        if (!globs && a.starts_with("--") && a.size() > 2 && !seen.insert(a.substr(0, a.find('='))).second) {
            *why = a + " is given twice";
            return false;
        }
        if (globs) {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                *why = a + (globs == &options->skip ? " needs a folder" : " needs a glob");
                return false;
            }
            globs->push_back(arguments[++i]);
        } else if (value) {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                *why = a + " needs a value";
                return false;
            }
            *value = arguments[++i];
        } else if (a == "--compress" || a.rfind("--compress=", 0) == 0) {
            options->compress = library::kDefaultCompressLevel;
            std::string level = a.size() > 10 ? a.substr(11) : std::string();
            if (a.size() > 10 && (level.empty() || level.size() > 2 ||
                                  level.find_first_not_of("0123456789") != std::string::npos ||
                                  std::stoi(level) < 1 || std::stoi(level) > library::MaxCompressLevel())) {
                *why = "--compress takes a level from 1 to " + std::to_string(library::MaxCompressLevel()) +
                       ", not \"" + level + "\"";
                return false;
            }
            if (!level.empty()) options->compress = std::stoi(level);
        } else if (a == "--strict") {
            options->strict = true;
        } else if (a == "--read-from-source") {
            options->readFromSource = true;
        } else if (a == "--safe-identifiers") {
            options->safeIdentifiers = true;
        } else if (a == "--check-names") {
            options->checkNames = true;
        } else if (a == "--help" || a == "--version") {
            options->help = a == "--help";
            options->version = a == "--version";
            return true;
        } else if (a.size() > 1 && a[0] == '-' && a != "--") {
            *why = "unknown option " + a;
            return false;
        } else {
            if (a == "--" && i + 1 < arguments.size()) ++i;
            positional.push_back(arguments[i]);
        }
    }
    if (options->checkNames) {
        // (an option it would pass over would look taken)
        const std::set<std::string> allowed{"--check-names", "--library", "--namespace", "--compress", "--target"};
        bool other = !options->files.empty() || !options->exclude.empty() || !options->skip.empty() ||
                     std::any_of(seen.begin(), seen.end(), [&](const std::string& o) { return !allowed.count(o); });
        if (!positional.empty() || options->library.empty() || other) {
            *why = "--check-names takes --library NAME [--namespace NS] [--compress[=LEVEL]] [--target T] and nothing else";
            return false;
        }
        return KnownTarget(*options, why);
    }
    if (positional.size() != 2 || positional[0].empty() || positional[1].empty()) {
        *why = "expected a script root and an output";
        return false;
    }
    if (options->library.empty() && (!options->nameSpace.empty() || options->data != "incbin" ||
                                     options->target != "any")) {
        *why = "--namespace, --data and --target go with --library";
        return false;
    }
    if (options->library.empty() && options->compress > 0) {
        *why = "--compress goes with --library";
        return false;
    }
    if (options->library.empty() && !options->files.empty()) {
        *why = "--files goes with --library";
        return false;
    }
    if (options->files.empty() && options->readFromSource) {
        // a script library's names are module names, which no folder on disk holds
        *why = "--read-from-source goes with --files";
        return false;
    }
    if (options->files.empty() && (!options->exclude.empty() || !options->skip.empty())) {
        *why = "--exclude and --skip-folder go with --files";
        return false;
    }
    if (!options->library.empty() && options->safeIdentifiers) {
        *why = "--safe-identifiers goes with a header, not --library";
        return false;
    }
    if (options->depfile.empty() && !options->depfileTarget.empty()) {
        *why = "--depfile-target goes with --depfile";
        return false;
    }
    if (options->data != "incbin" && options->data != "msvc") {
        *why = "--data takes incbin or msvc, not " + options->data;
        return false;
    }
    if (!KnownTarget(*options, why)) return false;
    options->root = positional[0];
    options->output = positional[1];
    return true;
}

}  // namespace frontend
