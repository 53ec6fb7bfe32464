// Gives the shared library Tovrin5 a translation unit of its own, so that it links even
// while it is made only of the subsystems' object libraries.
namespace tovrin::detail {
[[maybe_unused]] int g_moduleAnchor = 0;
}
