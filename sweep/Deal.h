// How the (library, file) pairs of a sweep are dealt to its shards, so that
// each shard takes a similar share of the time and every library appears in
// every shard where there are files enough. Each library's files are dealt
// on their own, the largest first to the shard with the fewest of that
// library's bytes so far: a library's time then splits evenly whatever its
// speed. Every shard deals alike from the same libraries and file sizes.
#pragma once

#include <cstddef>
#include <vector>

// What a pair costs, to deal and to foresee: its bytes, and what a call
// costs beyond them (a small file is not free).
unsigned long long pairWeight(unsigned long long size);

// Pairs are numbered file by file, the libraries side by side:
// pair = file * libraries + library. The shard of each, from 1 to `shards`.
std::vector<int> dealt(std::size_t libraries, const std::vector<unsigned long long> &fileSizes, int shards);
