// The record of files the launcher has installed (registry value "Files"): a tree of path
// components whose leaves are files and whose inner nodes are folders. Pure logic, no
// Windows header: the uninstaller trusts this record, so it is parsed defensively.
#pragma once
#include <cstddef>
#include <list>
#include <string>

class InstalledFileTree {
 public:
  // Longest component name a node holds; longer names are refused on input.
  static constexpr std::size_t kMaxName = 255;
  // Deepest nesting accepted. A path of 259 characters has at most 130 components, so a
  // deeper record is damaged; the bound also keeps the recursion of every walk small.
  static constexpr std::size_t kMaxDepth = 260;

  struct Node {
    std::string name;
    std::list<Node> children;  // a later recorded entry comes first
  };

  InstalledFileTree() = default;
  InstalledFileTree(const InstalledFileTree&) = delete;
  InstalledFileTree& operator=(const InstalledFileTree&) = delete;

  enum class AddResult { Added, Known, Refused };
  // Records a path split at "\" and "/" (empty components are skipped). Names compare
  // case-sensitively; a missing node is inserted first among its siblings. Added: the leaf
  // was new, the record changed. Known: it was there already. Refused (nothing changes):
  // a null path or one without components, a component longer than kMaxName or holding
  // "*" or "%" (the text form could not be read back), or more than kMaxDepth components.
  AddResult Add(const char* path);

  // Replaces the content with the parse of text (length bytes; a zero byte also ends it).
  // Returns false when the text did not follow the format: parsing then stopped at the
  // fault and the tree keeps what was read before it.
  bool Parse(const char* text, std::size_t length);

  // The record in its text form: per node its name, "*", its children, "%"; the root
  // writes only its children and the closing "%".
  std::string Serialize() const;

  void Clear() { roots_.clear(); }
  bool empty() const { return roots_.empty(); }
  const std::list<Node>& roots() const { return roots_; }

  // Visits every recorded path depth first, children in list order: a file (a node
  // without children) when it is met, a folder after its children. A top-level path is
  // the node's name; a deeper one is JoinPath(name, parent's path). A path that does not
  // fit kMaxPath is skipped with everything below it: no file of that name can exist.
  using Visitor = void (*)(const char* path, bool folder, void* context);
  void Walk(Visitor visitor, void* context) const;

 private:
  std::list<Node> roots_;
};
