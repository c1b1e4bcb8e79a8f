#include "launcher/core/installed_file_tree.h"

#include <cstring>
#include <vector>

#include "launcher/core/limits.h"
#include "launcher/core/paths.h"

namespace {

using Node = InstalledFileTree::Node;

bool IsMarker(char c) { return c == '*' || c == '%'; }

// Reads the text form. Every sequence ends with "%"; reaching the end of the text inside
// one, an empty name (a stray "*"), an over-long name or too deep a nesting is a fault
// that stops the parse where it is.
class Parser {
 public:
  Parser(const char* text, std::size_t length) : p_(text), end_(text + length) {}

  bool Sequence(std::list<Node>& out, std::size_t depth) {
    for (;;) {
      if (AtEnd()) return false;
      if (*p_ == '%') {
        ++p_;
        return true;
      }
      if (depth >= InstalledFileTree::kMaxDepth) return false;
      const char* name = p_;
      while (!AtEnd() && !IsMarker(*p_)) ++p_;
      const std::size_t length = static_cast<std::size_t>(p_ - name);
      if (length == 0 || length > InstalledFileTree::kMaxName) return false;
      out.emplace_back();
      out.back().name.assign(name, length);
      while (!AtEnd() && *p_ == '*') {
        ++p_;
        if (!Sequence(out.back().children, depth + 1)) return false;
      }
      if (AtEnd()) return false;
      if (*p_ == '%') {
        ++p_;
        return true;
      }
    }
  }

 private:
  bool AtEnd() const { return p_ == end_ || *p_ == '\0'; }

  const char* p_;
  const char* end_;
};

void SerializeSequence(const std::list<Node>& nodes, std::string& out) {
  for (const Node& node : nodes) {
    out += node.name;
    out += '*';
    SerializeSequence(node.children, out);
  }
  out += '%';
}

void WalkNodes(const std::list<Node>& nodes, const char* parent, InstalledFileTree::Visitor visitor,
               void* context) {
  for (const Node& node : nodes) {
    char path[kMaxPath];
    if (parent == nullptr) {
      if (node.name.size() >= sizeof(path)) continue;
      std::memcpy(path, node.name.c_str(), node.name.size() + 1);
    } else if (!JoinPath(node.name.c_str(), path, parent)) {
      continue;
    }
    if (node.children.empty()) {
      visitor(path, false, context);
    } else {
      WalkNodes(node.children, path, visitor, context);
      visitor(path, true, context);
    }
  }
}

}  // namespace

InstalledFileTree::AddResult InstalledFileTree::Add(const char* path) {
  if (path == nullptr) return AddResult::Refused;
  std::vector<std::string> components;
  const char* p = path;
  while (*p != '\0') {
    while (IsPathSeparator(*p)) ++p;
    const char* start = p;
    while (*p != '\0' && !IsPathSeparator(*p)) {
      if (IsMarker(*p)) return AddResult::Refused;
      ++p;
    }
    const std::size_t length = static_cast<std::size_t>(p - start);
    if (length == 0) break;
    if (length > kMaxName || components.size() == kMaxDepth) return AddResult::Refused;
    components.emplace_back(start, length);
  }
  if (components.empty()) return AddResult::Refused;

  std::list<Node>* level = &roots_;
  bool created = false;
  for (const std::string& component : components) {
    Node* found = nullptr;
    for (Node& node : *level) {
      if (node.name == component) {
        found = &node;
        break;
      }
    }
    created = found == nullptr;
    if (created) {
      level->emplace_front();
      found = &level->front();
      found->name = component;
    }
    level = &found->children;
  }
  return created ? AddResult::Added : AddResult::Known;
}

bool InstalledFileTree::Parse(const char* text, std::size_t length) {
  roots_.clear();
  if (text == nullptr) return false;
  Parser parser(text, length);
  return parser.Sequence(roots_, 0);
}

std::string InstalledFileTree::Serialize() const {
  std::string out;
  SerializeSequence(roots_, out);
  return out;
}

void InstalledFileTree::Walk(Visitor visitor, void* context) const {
  if (visitor != nullptr) WalkNodes(roots_, nullptr, visitor, context);
}
