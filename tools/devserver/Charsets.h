// The character sets a session can speak, and the conversions between a client's character
// set and the server's. Text is kept as UTF-8 inside the server whatever its character set;
// a server whose character set is iso_1 only ever stores what ISO-8859-1 can hold. As
// Adaptive Server does, text a client sends that the server's character set cannot hold is
// refused (message 2402), and text the client's character set cannot hold goes out with
// question marks in its place (message 2403 once the statement ends).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace devserver {

enum class Charset { Utf8, Iso1 };

/// The character set of a name as clients and the command line give it ("utf8", "iso_1";
/// case ignored); nullopt for any other.
std::optional<Charset> charsetByName(std::string_view name);

/// The name the server announces for a character set.
const char* charsetName(Charset charset) noexcept;

/// Converts text a client sent in `client` to the server's UTF-8. False when the text holds
/// a character that `server` cannot hold (or, for a utf8 client of an iso_1 server, is not
/// valid UTF-8). A utf8 client of a utf8 server needs no conversion: its text is kept as is.
bool textFromClient(std::string_view in, Charset client, Charset server, std::string& out);

/// Converts the server's UTF-8 to `client` (no change for utf8). For iso_1, characters it
/// cannot hold (and invalid UTF-8) become '?'; `lossy` is then set, else left alone.
std::string textToClient(std::string_view utf8, Charset client, bool& lossy);

/// The character set of this server process, which measures the length of character
/// data: UTF-8 bytes for utf8, characters for iso_1. Set once at start-up; utf8 until then.
void setServerCharset(Charset charset) noexcept;
Charset serverCharset() noexcept;

/// Message numbers of the conversion failures.
inline constexpr int kCharsetUnavailableMessage = 2401;
inline constexpr int kClientCharsMessage = 2402;
inline constexpr int kServerCharsMessage = 2403;

} // namespace devserver
