// central_seed DATA_DIR [BARS]: fills DATA_DIR/central.db with a chain's
// month (50 bars unless told), for the browser test and the demo to show.
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <string>

#include "central/chain_seed.h"
#include "central/store/store.h"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::cerr << "usage: central_seed DATA_DIR [BARS]\n";
    return 2;
  }
  const int bars = argc == 3 ? std::atoi(argv[2]) : 50;
  if (bars < 1 || bars > 1000) {
    std::cerr << "BARS is 1 to 1000\n";
    return 2;
  }
  std::string error;
  const auto store = CentralStore::Open(std::string(argv[1]) + "/central.db", error);
  if (!store) {
    std::cerr << "store: " << error << "\n";
    return 1;
  }
  ChainSeed seeded;
  if (!SeedChain(*store, static_cast<std::int64_t>(std::time(nullptr)), bars, seeded)) {
    std::cerr << "the store refused the seed\n";
    return 1;
  }
  std::cout << "seeded " << seeded.bars << " bars, " << seeded.installations << " installations, " << seeded.hits
            << " hits\n";
  return 0;
}
