// The client-library binding: helper arithmetic, the loaded entry points against what
// libct exports, and the loader's behaviour with a missing library or entry point.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tovrin5/client/Cspublic.h"
#include "tovrin5/client/Ctpublic.h"
#include "tovrin5/client/LibraryLoader.h"
#include "tovrin5/host/Exceptions.h"

namespace host = tovrin::host;

namespace {

using namespace tovrin;

TEST(BindingHelpers, MessageNumberParts) {
    EXPECT_EQ(CS_LAYER(0x01020304), 1);
    EXPECT_EQ(CS_ORIGIN(0x01020304), 2);
    EXPECT_EQ(CS_SEVERITY(0x01020304), 3);
    EXPECT_EQ(CS_NUMBER(0x01020304), 4);
    // Shifts are logical: a number with the top bit set has a layer of 128..255.
    const CS_INT topBit = static_cast<CS_INT>(0xFE0000FFu);
    EXPECT_EQ(CS_LAYER(topBit), 254);
    EXPECT_EQ(CS_NUMBER(topBit), 255);
    EXPECT_EQ(CS_LAYER(-1), 255);
    EXPECT_EQ(CS_SIZEOF(&topBit), 0);
    EXPECT_EQ(CS_SIZEOF(nullptr), 0);
}

TEST(BindingHelpers, CapabilityMask) {
    EXPECT_EQ(CS_CAP_IDX(0), 15);
    EXPECT_EQ(CS_CAP_IDX(7), 15);
    EXPECT_EQ(CS_CAP_IDX(8), 14);
    EXPECT_EQ(CS_CAP_IDX(127), 0);

    CS_CAP_TYPE mask{};
    for (int i = 0; i < CS_CAP_ARRAYLEN; ++i) {
        mask.mask[i] = static_cast<CS_BYTE>(0x11 * i);
    }
    const CS_CAP_TYPE original = mask;
    // Byte 14 holds 0xEE: bit 9 (its bit 1) is set, bit 8 (its bit 0) is clear.
    EXPECT_NE(CS_TST_CAPMASK(mask, 9), 0);
    EXPECT_EQ(CS_TST_CAPMASK(mask, 8), 0);
    CS_SET_CAPMASK(mask, 8);
    EXPECT_NE(CS_TST_CAPMASK(mask, 8), 0);
    for (int i = 0; i < CS_CAP_ARRAYLEN; ++i) {
        if (i != 14) {
            EXPECT_EQ(mask.mask[i], original.mask[i]) << "byte " << i;
        }
    }
    EXPECT_EQ(mask.mask[14], 0xEF);
    CS_CLR_CAPMASK(mask, 8);
    EXPECT_EQ(CS_TST_CAPMASK(mask, 8), 0);
    for (int i = 0; i < CS_CAP_ARRAYLEN; ++i) {
        EXPECT_EQ(mask.mask[i], original.mask[i]) << "byte " << i;
    }

    CS_CAP_TYPE empty{};
    CS_SET_CAPMASK(empty, 9);
    EXPECT_NE(CS_TST_CAPMASK(empty, 9), 0);
    for (int i = 0; i < CS_CAP_ARRAYLEN; ++i) {
        EXPECT_EQ(empty.mask[i], i == 14 ? 0x02 : 0x00) << "byte " << i;
    }
    CS_CLR_CAPMASK(empty, 9);
    EXPECT_EQ(empty.mask[14], 0);
    CS_SET_CAPMASK(empty, 127);
    EXPECT_EQ(empty.mask[0], 0x80);
    EXPECT_NE(CS_TST_CAPMASK(empty, 127), 0);
    EXPECT_EQ(CS_TST_CAPMASK(empty, 126), 0);
}

// Every variable is bound exactly when libct exports the function; the ones the package
// calls are always there.
void expectMatchesLibrary(std::span<const detail::EntryPoint> entries) {
    void* library = dlopen("libct.so.4", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr);
    for (const detail::EntryPoint& entry : entries) {
        const bool exported = dlsym(library, entry.name) != nullptr;
        EXPECT_EQ(entry.isBound(), exported) << entry.name;
        if (entry.required) {
            EXPECT_TRUE(entry.isBound()) << entry.name;
        }
    }
    dlclose(library);
}

TEST(BindingLoad, LibrariesLoadedAtModuleLoad) {
    EXPECT_TRUE(csDLLLoaded);
    EXPECT_TRUE(ctDLLLoaded);
    EXPECT_EQ(detail::csEntryPoints().size(), 22u);
    EXPECT_EQ(detail::ctEntryPoints().size(), 48u);
    expectMatchesLibrary(detail::csEntryPoints());
    expectMatchesLibrary(detail::ctEntryPoints());
    // FreeTDS lacks these; they stay null instead of failing the load.
    EXPECT_EQ(ct_debug, nullptr);
    EXPECT_EQ(ct_wakeup, nullptr);
    EXPECT_EQ(ct_ds_objinfo, nullptr);
    EXPECT_NE(ct_connect, nullptr);
    EXPECT_NE(cs_ctx_alloc, nullptr);
}

// The package's source text with comments and string and character literals blanked, so
// that only code remains.
std::string codeOnly(const std::string& text) {
    std::string out = text;
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out.compare(i, 2, "//") == 0) {
            while (i < out.size() && out[i] != '\n')
                out[i++] = ' ';
        } else if (out.compare(i, 2, "/*") == 0) {
            const std::size_t end = out.find("*/", i + 2);
            const std::size_t stop = end == std::string::npos ? out.size() : end + 2;
            while (i < stop)
                out[i++] = ' ';
        } else if (out[i] == '"' || out[i] == '\'') {
            const char quote = out[i];
            for (++i; i < out.size() && out[i] != quote; ++i) {
                if (out[i] == '\\')
                    out[i++] = ' ';
                if (i < out.size())
                    out[i] = ' ';
            }
        }
    }
    return out;
}

// Every library function the package's code calls (a name followed by an argument list).
std::set<std::string> calledEntryPoints() {
    std::set<std::string> called;
    const std::regex call(R"(\b((?:cs|ct)_[a-z_]+)\s*\()");
    for (const char* folder : {"client", "query", "dataset", "design", "host"}) {
        const auto root = std::filesystem::path(TOVRIN_SOURCE_DIR) / folder;
        for (const auto& file : std::filesystem::recursive_directory_iterator(root)) {
            const auto extension = file.path().extension();
            if (extension != ".cpp" && extension != ".h")
                continue;
            std::ifstream in(file.path());
            std::stringstream text;
            text << in.rdbuf();
            const std::string code = codeOnly(text.str());
            for (std::sregex_iterator it(code.begin(), code.end(), call), end; it != end; ++it) {
                called.insert((*it)[1].str());
            }
        }
    }
    return called;
}

// The loader requires exactly the entry points the package calls: a library without one
// of them fails at load instead of the package calling a null pointer later, and no
// function the package never calls keeps a library from loading.
TEST(BindingLoad, RequiredEntryPointsAreExactlyTheCalledOnes) {
    const std::set<std::string> called = calledEntryPoints();
    ASSERT_TRUE(called.count("ct_connect")) << "the scan found the package's calls";
    for (const auto entries : {detail::csEntryPoints(), detail::ctEntryPoints()}) {
        for (const detail::EntryPoint& entry : entries) {
            EXPECT_EQ(entry.required, called.count(entry.name) == 1) << entry.name;
        }
    }
}

// A binding of the test's own, so that the loader can be exercised without touching the
// package's variables.
CS_RETCODE (*g_probeInit)(CS_CONTEXT*, CS_INT) = nullptr;
CS_RETCODE (*g_probeMissing)(CS_CONTEXT*, CS_INT) = nullptr;
CS_RETCODE (*g_probeConnect)(CS_CONNECTION*, CS_CHAR*, CS_INT) = nullptr;

void clearProbe() {
    g_probeInit = nullptr;
    g_probeMissing = nullptr;
    g_probeConnect = nullptr;
}

// A binding's flag, module and entry points must outlive the process's exit procedures,
// which free the library and null the variables: each test keeps its own in statics.

/// The entry point `name` (asserted at `line`) whose address is kept in the variable Var.
template <auto& Var> detail::EntryPoint entry(const char* name, int line, bool required) {
    return detail::EntryPoint{name, line, required, &detail::storeEntryPoint<Var>,
                              &detail::entryPointBound<Var>};
}

TEST(BindingLoad, MissingLibraryLeavesEverythingNull) {
    clearProbe();
    static bool loaded = false;
    static void* module = nullptr;
    static const detail::EntryPoint kEntries[] = {
        entry<g_probeInit>("ct_init", 10, true),
        entry<g_probeConnect>("ct_connect", 11, true),
    };
    detail::LibraryBinding binding{"probe", loaded, module, kEntries};
    EXPECT_NO_THROW(detail::loadLibrary("libtovrin-no-such-library.so.9", binding));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(module, nullptr);
    EXPECT_EQ(g_probeInit, nullptr);
    EXPECT_EQ(g_probeConnect, nullptr);
}

TEST(BindingLoad, MissingCalledEntryPointFailsTheAssertion) {
    clearProbe();
    static bool loaded = false;
    static void* module = nullptr;
    static const detail::EntryPoint kEntries[] = {
        entry<g_probeInit>("ct_init", 10, true),
        entry<g_probeMissing>("ct_no_such_entry_point", 77, true),
        entry<g_probeConnect>("ct_connect", 12, true),
    };
    detail::LibraryBinding binding{"probeunit", loaded, module, kEntries};
    try {
        detail::loadLibrary("libct.so.4", binding);
        FAIL() << "no assertion failure";
    } catch (const host::EAssertionFailed& e) {
        EXPECT_EQ(e.Message(), "Assertion failure (probeunit, line 77)");
        EXPECT_EQ(e.UnitName(), "probeunit");
        EXPECT_EQ(e.Line(), 77);
    }
    EXPECT_TRUE(loaded);
    EXPECT_NE(g_probeInit, nullptr) << "fetched before the missing one: kept";
    EXPECT_EQ(g_probeMissing, nullptr);
    EXPECT_EQ(g_probeConnect, nullptr) << "after the missing one: never fetched";

    // Loading again does nothing once the flag is set.
    EXPECT_NO_THROW(detail::loadLibrary("libct.so.4", binding));
    EXPECT_EQ(g_probeConnect, nullptr);
}

TEST(BindingLoad, MissingOptionalEntryPointStaysNull) {
    clearProbe();
    static bool loaded = false;
    static void* module = nullptr;
    static const detail::EntryPoint kEntries[] = {
        entry<g_probeMissing>("ct_debug", 433, false),
        entry<g_probeConnect>("ct_connect", 481, true),
    };
    detail::LibraryBinding binding{"probe", loaded, module, kEntries};
    EXPECT_NO_THROW(detail::loadLibrary("libct.so.4", binding));
    EXPECT_TRUE(loaded);
    EXPECT_NE(module, nullptr);
    EXPECT_EQ(g_probeMissing, nullptr);
    EXPECT_NE(g_probeConnect, nullptr);
}

} // namespace
