// Compares our initials of a corpus with a reference (pinyin-pro's, written by
// reference.mjs), ours and pinyin-pro's with the hand-checked corpus, and times
// our function in-process.
//
//   pinyin_bench CORPUS REFERENCE HAND_CHECKED HAND_REFERENCE LIBRARY [REPETITIONS]
//
// CORPUS: UTF-8, one name a line. REFERENCE: a first line "# ns_per_name N",
// then the reference initials of each name, one a line. HAND_CHECKED: the
// tab-separated name, initials and note of tests/hand_checked.tsv ('#' lines
// are comments); HAND_REFERENCE: pinyin-pro's initials of its names, as
// REFERENCE. All sides are compared after the same normalisation: lower case,
// ASCII letters and digits only.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "PinYin.h"
#include "text/text.h"

namespace {

std::string ToGbk(const std::string &utf8) {
  try {
    return text::Utf8ToGbk(utf8, text::Mode::kStrict);
  } catch (const text::ETextConversionError &e) {
    std::cerr << "not convertible to GBK: " << utf8 << " (" << e.what() << ")\n";
    std::exit(1);
  }
}

std::string Normalise(const std::string &s) {
  std::string out;
  for (unsigned char c : s) {
    if (c >= 'A' && c <= 'Z')
      out += static_cast<char>(c - 'A' + 'a');
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
      out += static_cast<char>(c);
  }
  return out;
}

std::vector<std::string> ReadLines(const char *path) {
  std::ifstream in(path);
  if (!in) {
    std::cerr << "cannot read " << path << "\n";
    std::exit(1);
  }
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc < 6) {
    std::cerr << "usage: pinyin_bench CORPUS REFERENCE HAND_CHECKED HAND_REFERENCE LIBRARY "
                 "[REPETITIONS]\n";
    return 2;
  }
  const char *library = argv[5];
  const int repetitions = argc > 6 ? std::atoi(argv[6]) : 2000;
  std::vector<std::string> names = ReadLines(argv[1]);
  while (!names.empty() && names.back().empty()) names.pop_back();
  std::vector<std::string> reference = ReadLines(argv[2]);
  double referenceNs = 0;
  if (reference.empty() ||
      std::sscanf(reference[0].c_str(), "# ns_per_name %lf", &referenceNs) != 1) {
    std::cerr << "reference lacks its timing line\n";
    return 1;
  }
  reference.erase(reference.begin());
  if (reference.size() < names.size()) {
    std::cerr << "reference has " << reference.size() << " lines for " << names.size()
              << " names\n";
    return 1;
  }

  char *initials = nullptr;
  std::vector<std::string> gbk;
  for (const auto &n : names) gbk.push_back(ToGbk(n));

  // The hand-checked corpus: its names and initials, and pinyin-pro's initials.
  std::vector<std::string> handNames, handInitials;
  for (const auto &line : ReadLines(argv[3])) {
    if (line.empty() || line[0] == '#') continue;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) {
      std::cerr << "malformed hand-checked line: " << line << "\n";
      return 1;
    }
    const size_t end = line.find('\t', tab + 1);
    handNames.push_back(line.substr(0, tab));
    handInitials.push_back(line.substr(tab + 1, end == std::string::npos ? end : end - tab - 1));
  }
  std::vector<std::string> handReference = ReadLines(argv[4]);
  if (!handReference.empty()) handReference.erase(handReference.begin());
  if (handReference.size() < handNames.size()) {
    std::cerr << "hand reference has " << handReference.size() << " lines for " << handNames.size()
              << " names\n";
    return 1;
  }
  size_t handOurs = 0, handTheirs = 0;
  std::vector<std::string> handDifferences;
  for (size_t i = 0; i < handNames.size(); ++i) {
    const std::string name = ToGbk(handNames[i]);
    GetPinYinFirstChar(name.data(), name.size(), &initials);
    const std::string ours = Normalise(initials), hand = Normalise(handInitials[i]);
    const std::string theirs = Normalise(handReference[i]);
    if (ours == hand)
      ++handOurs;
    else
      handDifferences.push_back(handNames[i] + "\tours " + ours + "\thand " + hand);
    if (theirs == hand) ++handTheirs;
  }

  size_t agree = 0;
  std::vector<std::string> differences;
  for (size_t i = 0; i < names.size(); ++i) {
    GetPinYinFirstChar(gbk[i].data(), gbk[i].size(), &initials);
    const std::string ours = Normalise(initials);
    const std::string theirs = Normalise(reference[i]);
    if (ours == theirs)
      ++agree;
    else
      differences.push_back(names[i] + "\tours " + ours + "\tpinyin-pro " + theirs);
  }

  size_t checksum = 0;
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < repetitions; ++r) {
    for (const auto &g : gbk) {
      GetPinYinFirstChar(g.data(), g.size(), &initials);
      checksum += initials[0];
    }
  }
  const auto stop = std::chrono::steady_clock::now();
  std::free(initials);
  const double oursNs = std::chrono::duration<double, std::nano>(stop - start).count() /
                        (double(repetitions) * gbk.size());

  std::cout << "names: " << names.size() << "\n";
  std::cout << "names that differ (" << differences.size() << "):\n";
  for (const auto &d : differences) std::cout << "  " << d << "\n";
  std::printf("agreement with pinyin-pro: %zu of %zu names = %.2f%%\n", agree, names.size(),
              100.0 * double(agree) / double(names.size()));
  std::cout << "hand-checked names we read otherwise (" << handDifferences.size() << "):\n";
  for (const auto &d : handDifferences) std::cout << "  " << d << "\n";
  std::printf(
      "agreement with the hand-checked readings: ours %zu of %zu names = %.2f%%, "
      "pinyin-pro %zu = %.2f%%\n",
      handOurs, handNames.size(), 100.0 * double(handOurs) / double(handNames.size()), handTheirs,
      100.0 * double(handTheirs) / double(handNames.size()));
  std::printf("time per name: ours %.0f ns (%d repetitions), pinyin-pro %.0f ns: %.1fx faster\n",
              oursNs, repetitions, referenceNs, referenceNs / oursNs);
  std::printf("library %s: %ju bytes\n", library,
              static_cast<uintmax_t>(std::filesystem::file_size(library)));
  std::printf("(checksum %zu)\n", checksum);
  return 0;
}
