// The registry of component classes that the streaming can create by name.
#include <map>
#include <mutex>

#include "tovrin5/host/Filer.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

namespace {

struct Registry {
    std::mutex lock;
    std::map<std::string, TComponentFactory> factories; // key: upper-case class name
};

Registry& registry() {
    static Registry r;
    return r;
}

} // namespace

TComponentFactory FindClassFactory(const std::string& ClassName) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    auto it = r.factories.find(UpperCase(ClassName));
    return it == r.factories.end() ? TComponentFactory() : it->second;
}

void RegisterClass(const std::string& ClassName, TComponentFactory Factory) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    r.factories[UpperCase(ClassName)] = std::move(Factory);
}

void UnRegisterClass(const std::string& ClassName) {
    Registry& r = registry();
    std::lock_guard guard(r.lock);
    r.factories.erase(UpperCase(ClassName));
}

bool IsClassRegistered(const std::string& ClassName) {
    return static_cast<bool>(FindClassFactory(ClassName));
}

} // namespace tovrin::host
