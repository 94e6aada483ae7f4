// The -lh5- compressor: LZSS over an 8 KB window (matches of 3 to 256
// bytes), coded in blocks of static Huffman codes. Each block carries its
// code count, the 'pt' tree that codes the lengths of the 'c' tree, the 'c'
// tree (literals 0-255 and match lengths 256-509) and the 'p' tree (the bit
// length of the match distance), then the codes themselves.
#pragma once

#include <string>
#include <string_view>

namespace lzh {

struct Lh5Options {
  int maxChain = 24;       // hash-chain links followed per search
  int niceLength = 128;    // a match this long ends the search at once
  int lazyLength = 64;     // a match this long is taken without looking one byte further
  int goodLength = 3;      // looking further after a match this long follows a quarter of the
                           // links (3: always; that look rarely finds a better match, yet it
                           // took half of all links followed)
  int blockCodes = 32768;  // codes per block (the format allows up to 65535); the logs are
                           // alike throughout, and larger blocks spend less on trees
};

// The -lh5- stream of `input`. An empty input gives an empty stream.
std::string CompressLh5(std::string_view input, const Lh5Options& options = {});

}  // namespace lzh
