// How a download stage with several transfers and file servers hands out its work: which
// file goes next, and in which order the servers are tried for it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Indices of the files by size, largest first, so that the last files to finish are small
// ones; equal sizes keep their given order.
std::vector<std::size_t> LargestFirst(const std::vector<std::uint64_t>& sizes);

// The order the file servers are tried in: the patch information's server first, then its
// mirrors. A server that failed a file goes to the end for the files handed out after that.
class ServerOrder {
 public:
  explicit ServerOrder(std::size_t servers);
  const std::vector<std::size_t>& Order() const { return m_order; }
  void Demote(std::size_t server);

 private:
  std::vector<std::size_t> m_order;
};

// The transfers a run uses: the "connections" value (already 1 to 16), never more than there
// are files, and at least one.
std::size_t TransferCount(int connections, std::size_t files);
