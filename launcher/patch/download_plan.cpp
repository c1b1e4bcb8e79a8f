#include "launcher/patch/download_plan.h"

#include <algorithm>
#include <numeric>

std::vector<std::size_t> LargestFirst(const std::vector<std::uint64_t>& sizes) {
  std::vector<std::size_t> order(sizes.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return sizes[a] > sizes[b]; });
  return order;
}

ServerOrder::ServerOrder(std::size_t servers) : m_order(servers) {
  std::iota(m_order.begin(), m_order.end(), std::size_t{0});
}

void ServerOrder::Demote(std::size_t server) {
  auto it = std::find(m_order.begin(), m_order.end(), server);
  if (it == m_order.end()) return;
  m_order.erase(it);
  m_order.push_back(server);
}

std::size_t TransferCount(int connections, std::size_t files) {
  const std::size_t wanted = connections < 1 ? 1 : static_cast<std::size_t>(connections);
  return std::max<std::size_t>(1, std::min(wanted, files));
}
