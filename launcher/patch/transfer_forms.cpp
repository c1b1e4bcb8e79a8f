#include "launcher/patch/transfer_forms.h"

#include <algorithm>
#include <cstring>

std::vector<const TransferForm*> ChooseForms(const TransferFileForms* forms, std::uint64_t rawSize, bool installMode,
                                             InstalledContent& installed) {
  std::vector<const TransferForm*> deltas;
  const TransferForm* whole = nullptr;
  if (forms == nullptr) return deltas;
  std::uint64_t installedSize = 0;
  const bool haveInstalled = !installMode && installed.Size(&installedSize);
  bool hashed = false, hashOk = false;
  unsigned char installedMd5[kMd5DigestSize] = {};
  for (const TransferForm& form : forms->forms) {
    if (form.size >= rawSize) continue;  // no saving
    if (form.kind == TransferFormKind::kWhole) {
      if (whole == nullptr || form.size < whole->size) whole = &form;
      continue;
    }
    if (!haveInstalled || form.sourceSize != installedSize) continue;
    if (!hashed) {
      hashOk = installed.Digest(installedMd5);
      hashed = true;
    }
    if (hashOk && std::memcmp(installedMd5, form.sourceMd5, kMd5DigestSize) == 0) deltas.push_back(&form);
  }
  std::stable_sort(deltas.begin(), deltas.end(),
                   [](const TransferForm* a, const TransferForm* b) { return a->size < b->size; });
  if (whole != nullptr) deltas.push_back(whole);
  return deltas;
}
