#include "core/IoC.h"

#include <map>
#include <mutex>

#include "futures/FuturesError.h"

namespace tessellon {
namespace {

struct Container {
  std::recursive_mutex mutex;
  std::map<std::string, std::any, std::less<>> singletons;
  std::map<std::string, std::function<std::any()>, std::less<>> lazySingletons;
};

Container& container() {
  static auto* instance = new Container();
  return *instance;
}

}  // namespace

void IoC::storeSingleton(std::string_view name, std::any object) {
  Container& c = container();
  std::lock_guard lock(c.mutex);
  c.singletons.insert_or_assign(std::string(name), std::move(object));
  if (auto lazy = c.lazySingletons.find(name); lazy != c.lazySingletons.end()) {
    c.lazySingletons.erase(lazy);
  }
}

void IoC::storeLazy(std::string_view name, std::function<std::any()> constructor) {
  Container& c = container();
  std::lock_guard lock(c.mutex);
  c.lazySingletons.insert_or_assign(std::string(name), std::move(constructor));
  // Keeps a name in one map only; the pending constructor wins either way.
  if (auto stored = c.singletons.find(name); stored != c.singletons.end())
    c.singletons.erase(stored);
}

Result<std::any> IoC::resolveAny(std::string_view name) {
  Container& c = container();
  std::lock_guard lock(c.mutex);
  if (auto lazy = c.lazySingletons.find(name); lazy != c.lazySingletons.end()) {
    std::function<std::any()> constructor = std::move(lazy->second);
    c.lazySingletons.erase(lazy);
    try {
      c.singletons.insert_or_assign(std::string(name), constructor());
    } catch (...) {
      // Keep the registration, so a resolution after the missing dependency
      // was registered can still build it.
      c.lazySingletons.emplace(std::string(name), std::move(constructor));
      return errorFromException(std::current_exception());
    }
  }
  if (auto stored = c.singletons.find(name); stored != c.singletons.end()) return stored->second;
  return makeNothingRegisteredForType(name);
}

void IoC::reset() {
  Container& c = container();
  std::lock_guard lock(c.mutex);
  c.singletons.clear();
  c.lazySingletons.clear();
}

// The implementation's name of the type (mangled): only log lines show it.
std::string IoC::typeName(const std::type_info& type) { return type.name(); }

}  // namespace tessellon
