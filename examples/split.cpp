// Splits standard input into sentences with a fullstop model, one per line.
// MODEL is a bundled model's name (en, de, fr, ...) or a path.
//
//   ./split_cpp de < text.txt
//
//   find_package(fullstop REQUIRED)
//   target_link_libraries(split_cpp PRIVATE fullstop::fullstop)
#include <fullstop/fullstop.hpp>

#include <iostream>
#include <iterator>
#include <string>

int main(int argc, char **argv) {
  if (argc != 2) {
    std::cerr << "usage: " << argv[0] << " MODEL < TEXT\n";
    return 2;
  }
  try {
    fullstop::Model model = fullstop::Model::load_named(argv[1]);
    std::string text{std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>()};
    for (fullstop_span s : model.split(text)) {
      std::string sentence = text.substr(s.start, s.end - s.start);
      for (char &c : sentence)
        if (c == '\n') c = ' ';
      std::cout << sentence << '\n';
    }
  } catch (const fullstop::Error &e) {
    std::cerr << "split_cpp: " << e.what() << '\n';
    return 1;
  }
}
