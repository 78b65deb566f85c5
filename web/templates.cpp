// Templates: data for mustache, rendered with HTML escaping.
#include "web/templates.h"

#include <algorithm>
#include <atomic>
#include <fstream>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace tamsel::web {

namespace {

using kainjow::mustache::mustache;

constexpr std::string_view kBodySlot = "{{{body}}}";

const char* Entity(char c) {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    case '\'':
      return "&apos;";
    default:
      return nullptr;
  }
}

}  // namespace

TemplateData TemplateText(std::string text) {
  if (text.empty()) return TemplateData(false);
  return TemplateData(text);
}

void Append(TemplateData& list, TemplateData item) {
  // The list is ours; only its accessor is const. Its items' move is not noexcept, so a
  // vector growing by itself would copy every item so far: grow it here by moving them.
  auto& items = const_cast<kainjow::mustache::list&>(list.list_value());
  if (items.size() == items.capacity()) {
    kainjow::mustache::list larger;
    larger.reserve(std::max<std::size_t>(8, items.size() * 2));
    for (TemplateData& old : items) larger.push_back(std::move(old));
    items.swap(larger);
  }
  items.push_back(std::move(item));
}

// Each part is moved into place: the library's setters copy, and copying a page's rows at
// every level of the tree cost more than rendering them.
TemplateData ToTemplateData(const nlohmann::json& value) {
  switch (value.type()) {
    case nlohmann::json::value_t::object: {
      TemplateData object{TemplateData::type::object};
      for (auto item = value.begin(); item != value.end(); ++item) {
        object[item.key()] = ToTemplateData(item.value());
      }
      return object;
    }
    case nlohmann::json::value_t::array: {
      TemplateData list{TemplateData::type::list};
      for (const auto& item : value) Append(list, ToTemplateData(item));
      return list;
    }
    case nlohmann::json::value_t::boolean:
      return TemplateData(value.get<bool>());
    case nlohmann::json::value_t::string:
      return TemplateText(value.get_ref<const std::string&>());
    case nlohmann::json::value_t::null:
      return TemplateData(false);
    default:
      return TemplateData(value.dump());
  }
}

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size() + 16);
  std::size_t from = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (const char* entity = Entity(text[i])) {
      out.append(text, from, i - from);
      out += entity;
      from = i + 1;
    }
  }
  out.append(text, from, std::string::npos);
  return out;
}

// One template, parsed once: its pieces between {{{body}}} slots. Rendering is not const in
// the library, so each render borrows a copy of its own from a pool that grows to the number
// of threads rendering at once.
class Templates::Compiled {
 public:
  Compiled(const std::string& name, const std::string& text) {
    std::size_t at = 0;
    for (;;) {
      const std::size_t slot = text.find(kBodySlot, at);
      pieces_.emplace_back(text.substr(at, slot == std::string::npos ? slot : slot - at));
      if (!pieces_.back().is_valid()) {
        throw std::runtime_error("template " + name + ": " + pieces_.back().error_message());
      }
      pieces_.back().set_custom_escape(HtmlEscape);
      if (slot == std::string::npos) break;
      at = slot + kBodySlot.size();
    }
  }

  std::string Render(const TemplateData& data, const std::string& body) const {
    std::unique_ptr<std::vector<mustache>> pieces = Borrow();
    std::string out;
    // Sized like the last page of this template, so the text is not copied as it grows.
    out.reserve(body.size() + lastSize_.load(std::memory_order_relaxed));
    for (std::size_t i = 0; i < pieces->size(); ++i) {
      if (i > 0) out += body;
      (*pieces)[i].render(data, [&out](const std::string& text) { out += text; });
    }
    GiveBack(std::move(pieces));
    lastSize_.store(out.size() - body.size() * (pieces_.size() - 1) + 256,
                    std::memory_order_relaxed);
    return out;
  }

 private:
  std::unique_ptr<std::vector<mustache>> Borrow() const {
    std::lock_guard lock(mutex_);
    if (idle_.empty()) return std::make_unique<std::vector<mustache>>(pieces_);
    auto pieces = std::move(idle_.back());
    idle_.pop_back();
    return pieces;
  }

  void GiveBack(std::unique_ptr<std::vector<mustache>> pieces) const {
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(pieces));
  }

  std::vector<mustache> pieces_;
  mutable std::atomic<std::size_t> lastSize_{0};
  mutable std::mutex mutex_;
  mutable std::vector<std::unique_ptr<std::vector<mustache>>> idle_;
};

Templates::Templates() = default;
Templates::~Templates() = default;
Templates::Templates(Templates&&) noexcept = default;
Templates& Templates::operator=(Templates&&) noexcept = default;

Templates::Templates(const std::filesystem::path& folder) {
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() != ".mustache") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Add(entry.path().stem().string(), text.str());
  }
}

void Templates::Add(const std::string& name, std::string text) {
  templates_[name] = std::make_unique<Compiled>(name, text);
}

std::string Templates::Render(const std::string& name, const nlohmann::json& data) const {
  return Render(name, ToTemplateData(data));
}

std::string Templates::Render(const std::string& name, const TemplateData& data) const {
  return templates_.at(name)->Render(data, std::string());
}

std::string Templates::Render(const std::string& name, const TemplateData& data,
                              const std::string& body) const {
  return templates_.at(name)->Render(data, body);
}

}  // namespace tamsel::web
