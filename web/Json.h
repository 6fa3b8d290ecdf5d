// A small writer of JSON text, for the answers the page's core gives its
// worker: objects, arrays, strings, numbers and truth values, written in
// order into one string.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ondrel::web {

class Json {
 public:
  Json& Begin() { return Open('{'); }
  Json& End() { return Close('}'); }
  Json& BeginArray() { return Open('['); }
  Json& EndArray() { return Close(']'); }
  // The name of the next member of an object.
  Json& Key(std::string_view name);
  // Text that is UTF-8 already.
  Json& String(std::string_view text);
  Json& Number(double value);
  Json& Bool(bool value);
  Json& Strings(const std::vector<std::string>& texts);

  const std::string& Text() const { return out_; }

 private:
  Json& Open(char bracket);
  Json& Close(char bracket);
  void Separate();

  std::string out_;
  // Whether the innermost open object or array holds a value yet.
  std::vector<bool> filled_;
  bool afterKey_ = false;
};

}  // namespace ondrel::web
