// Fuzz target: reading components back from their text form. Arbitrary text is read as a
// form holding the package's components (connections, queries with their parameters, data
// sources). A damaged stream may only raise the package's exceptions (EReadError for the
// text itself, or what a component's Loaded raises for values it was given); it never
// crashes, never raises anything else and leaves nothing behind.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string>
#include <typeinfo>

#include "tovrin5/client/Cspublic.h"
#include "tovrin5/client/Ctpublic.h"
#include "tovrin5/host/Component.h"
#include "tovrin5/host/DataSource.h"
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/query/SybConnect.h"
#include "tovrin5/query/SybQuery.h"

namespace host = tovrin::host;

namespace {

class TFuzzForm final : public host::TComponent {
public:
    explicit TFuzzForm(host::TComponent* owner) : host::TComponent(owner) {}
    [[nodiscard]] std::string ClassName() const override { return "TFuzzForm"; }
};

bool registerClasses() {
    host::RegisterComponentClass<TFuzzForm>("TFuzzForm");
    host::RegisterComponentClass<tovrin::TSybQuery>("TSybQuery");
    host::RegisterComponentClass<tovrin::TSybConnect>("TSybConnect");
    host::RegisterComponentClass<host::TDataSource>("TDataSource");
    // A stream may say Connected = True: with the client library marked absent, connecting
    // fails at once instead of reaching for a server named by the fuzzer.
    tovrin::csDLLLoaded = false;
    tovrin::ctDLLLoaded = false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    static const bool registered = registerClasses();
    (void)registered;
    const std::string text(reinterpret_cast<const char*>(bytes), size);
    std::string written;
    try {
        std::unique_ptr<host::TComponent> root(host::TextToComponent(text));
        written = host::ComponentToText(root.get());
    } catch (const host::Exception&) {
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "a stream raised %s: %s\n", typeid(e).name(), e.what());
        std::abort();
    }
    // What was read writes back out and reads again without complaint.
    try {
        std::unique_ptr<host::TComponent> again(host::TextToComponent(written));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "the written form of a read stream does not read back: %s\n%s\n",
                     e.what(), written.c_str());
        std::abort();
    }
    return 0;
}
