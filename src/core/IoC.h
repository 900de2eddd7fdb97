#pragma once

#include <any>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>

#include "tessellon/BackupSDKDelegate.h"
#include "tessellon/LoggerProtocol.h"

#include "core/IoCError.h"
#include "futures/ErrorException.h"
#include "futures/Result.h"

namespace tessellon {

// The key of type I in the container. Internal types (an interface, or a class
// registered as itself) carry kProtocolName; the host-facing ones are named here.
template <class I>
struct ProtocolName {
  static constexpr std::string_view value = I::kProtocolName;
};
template <>
struct ProtocolName<LoggerProtocol> {
  static constexpr std::string_view value = "LoggerProtocol";
};
template <>
struct ProtocolName<BackupSDKDelegate> {
  static constexpr std::string_view value = "BackupSDKDelegate";
};

// The process-wide service container: one shared instance per registered type,
// keyed by its kProtocolName. Lazy registrations are built on first
// resolution, resolving their own dependencies; a pending lazy registration
// takes precedence over a stored instance. Safe to use from several threads: a
// recursive lock is held across a lazy construction, so concurrent first
// resolutions build one instance.
class IoC {
 public:
  // Stores `object` under I's name and drops a lazy registration of that name;
  // fails with incompatibleTypes (and changes nothing) when it does not
  // implement I.
  template <class I, class T>
  static Result<void> registerSingleton(std::shared_ptr<T> object) {
    std::shared_ptr<I> typed;
    if constexpr (std::is_convertible_v<T*, I*>) {
      typed = std::move(object);
    } else if constexpr (std::is_polymorphic_v<T> && std::is_polymorphic_v<I>) {
      typed = std::dynamic_pointer_cast<I>(object);
      if (!typed) return makeIncompatibleTypes(ProtocolName<I>::value, typeName(typeid(*object)));
    } else {
      return makeIncompatibleTypes(ProtocolName<I>::value, typeName(typeid(T)));
    }
    storeSingleton(ProtocolName<I>::value, std::any(std::move(typed)));
    return {};
  }

  // Stores `constructor` under I's name, replacing an earlier registration;
  // nothing is checked until it runs.
  template <class I>
  static void registerLazySingleton(std::function<std::shared_ptr<I>()> constructor) {
    storeLazy(ProtocolName<I>::value, [constructor = std::move(constructor)] {
      return std::any(std::shared_ptr<I>(constructor()));
    });
  }

  // The instance registered for I; nothingRegisteredForType or
  // incompatibleTypes otherwise, or the error a lazy constructor threw.
  template <class I>
  static Result<std::shared_ptr<I>> resolve() {
    Result<std::any> stored = resolveAny(ProtocolName<I>::value);
    if (!stored.ok()) return stored.error();
    if (const auto* typed = std::any_cast<std::shared_ptr<I>>(&stored.value())) return *typed;
    return makeIncompatibleTypes(ProtocolName<I>::value, stored.value().type().name());
  }

  // For lazy constructors: resolve I or throw its error (resolve() turns it
  // back into a Result).
  template <class I>
  static std::shared_ptr<I> require() {
    return resolve<I>().value();
  }
  // For optional dependencies: null when I does not resolve.
  template <class I>
  static std::shared_ptr<I> optional() {
    Result<std::shared_ptr<I>> resolved = resolve<I>();
    return resolved.ok() ? resolved.value() : nullptr;
  }

  // Forgets every registration; for tests that build a container of their own.
  static void reset();

 private:
  static void storeSingleton(std::string_view name, std::any object);
  static void storeLazy(std::string_view name, std::function<std::any()> constructor);
  static Result<std::any> resolveAny(std::string_view name);
  static std::string typeName(const std::type_info& type);
};

}  // namespace tessellon
