// The record of files the launcher has installed (registry value "Files").
#pragma once

class InstalledFileTree {
 public:
  InstalledFileTree() = default;
  InstalledFileTree(const InstalledFileTree&) = delete;
  InstalledFileTree& operator=(const InstalledFileTree&) = delete;
};
