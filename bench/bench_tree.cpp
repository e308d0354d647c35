// The inputs that scripts/bench and scripts/tool-figures time the programs
// on, written through the manifest layer so that they are what `quenrid pack`
// reads.
//
//   bench_tree records FILES REGISTRY
//     prints a manifest of FILES file records, 100 to a folder below the
//     install folder, REGISTRY registry keys and one directory pattern.
//   bench_tree tree TEMPLATE ROOT FILES OUT
//     writes FILES files of 1 KB in 100 folders under TEMPLATE, and beside
//     them not-listed.txt, which no list names (as an install folder holds
//     its uninstaller during a run); then, for a copy of that tree at the
//     Windows path ROOT: OUT.json, each folder's entry followed by its files
//     (the files are removed from the last record to the first); OUT.txt,
//     bench/delete_loop's list (every file, then every folder); and
//     OUT-more-folders.json, as OUT.json with one more entry per folder after
//     its files, spelt with "\." so that it is no duplicate: the file phase
//     meets it while the folder still holds its files, so it costs the
//     folder gate and a removal that fails, and nothing else.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "manifest/manifest.h"

namespace {

constexpr int kFolders = 100;

// A whole message table but the read-only question, which a /S run would
// stop to ask (no file here is read-only): pack has nothing to warn about.
quenrid::Manifest WithMessages() {
  quenrid::Manifest manifest;
  manifest.messages = {"Bench", "Remove?", "", "&Yes", "Yes to &all", "&No", "N&o to all",
                       "Out of memory reading %s", "%s is damaged", "", "%s is shared",
                       "Files", "Shortcuts", "Folders", "Registry", "In use"};
  return manifest;
}

std::string Numbered(const char *format, int n) {
  char text[32];
  std::snprintf(text, sizeof text, format, n);
  return text;
}

void Write(const std::string &path, const std::string &text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + path);
}

int Records(int files, int registry) {
  quenrid::Manifest manifest = WithMessages();
  for (int i = 0; i < files; ++i) {
    manifest.files.push_back({Numbered(".\\d%d", i / 100), Numbered("file%d.dat", i)});
  }
  for (int i = 0; i < registry; ++i) {
    manifest.registry.push_back({0x80000002, Numbered("Software\\Quenrid Bench\\Key%d", i)});
  }
  manifest.directories.push_back("#InstallDir#\\data\\*.*");
  std::fputs(quenrid::FormatManifest(manifest, 1252).c_str(), stdout);
  return 0;
}

int Tree(const std::string &templateDir, const std::string &root, int files,
         const std::string &out) {
  const int perFolder = files / kFolders;
  const std::string content = std::string(1023, '0') + "\n";
  quenrid::Manifest manifest = WithMessages();
  quenrid::Manifest moreFolders = WithMessages();
  std::string list;
  for (int d = 0; d < kFolders; ++d) {
    const std::string name = Numbered("d%03d", d);
    const std::string folder = root + "\\" + name;
    std::filesystem::create_directories(templateDir + "/" + name);
    manifest.files.push_back({folder, ""});
    moreFolders.files.push_back({folder, ""});
    for (int i = d * perFolder; i < (d + 1) * perFolder; ++i) {
      const std::string file = Numbered("f%05d.dat", i);
      Write(templateDir + "/" + name + "/" + file, content);
      manifest.files.push_back({folder, file});
      moreFolders.files.push_back({folder, file});
      list += folder + "\\" + file + "\r\n";
    }
    moreFolders.files.push_back({folder + "\\.", ""});
  }
  for (int d = 0; d < kFolders; ++d) list += root + "\\" + Numbered("d%03d", d) + "\\\r\n";
  Write(templateDir + "/not-listed.txt", "not listed: stays\n");
  Write(out + ".json", quenrid::FormatManifest(manifest, 1252));
  Write(out + "-more-folders.json", quenrid::FormatManifest(moreFolders, 1252));
  Write(out + ".txt", list);
  return 0;
}

// A count of at least `least`, or -1.
int Count(const char *text, int least) {
  char *end = nullptr;
  const long value = std::strtol(text, &end, 10);
  return *text && !*end && value >= least && value <= 10000000 ? static_cast<int>(value) : -1;
}

}  // namespace

int main(int argc, char **argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  try {
    if (command == "records" && argc == 4 && Count(argv[2], 0) >= 0 && Count(argv[3], 0) >= 0) {
      return Records(Count(argv[2], 0), Count(argv[3], 0));
    }
    if (command == "tree" && argc == 6 && Count(argv[4], kFolders) > 0 &&
        Count(argv[4], kFolders) % kFolders == 0) {
      return Tree(argv[2], argv[3], Count(argv[4], kFolders), argv[5]);
    }
  } catch (const std::exception &error) {
    std::fprintf(stderr, "bench_tree: %s\n", error.what());
    return 1;
  }
  std::fprintf(stderr,
               "usage: bench_tree records FILES REGISTRY\n"
               "       bench_tree tree TEMPLATE ROOT FILES OUT   (FILES a multiple of %d)\n",
               kFolders);
  return 2;
}
