// Command-line parsing of the development server.
#include "Options.h"

#include <arpa/inet.h>
#include <charconv>
#include <netinet/in.h>
#include <stdexcept>

namespace devserver {

namespace {

int64_t parseNumber(const std::string& option, const std::string& text, int64_t min, int64_t max) {
    int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || text.empty() || value < min ||
        value > max)
        throw std::invalid_argument(option + " expects a number from " + std::to_string(min) +
                                    " to " + std::to_string(max) + ", not '" + text + "'");
    return value;
}

DateOrder parseDateOrder(const std::string& text) {
    static const std::pair<const char*, DateOrder> kOrders[] = {
        {"mdy", DateOrder::MDY}, {"dmy", DateOrder::DMY}, {"ymd", DateOrder::YMD},
        {"ydm", DateOrder::YDM}, {"myd", DateOrder::MYD}, {"dym", DateOrder::DYM}};
    for (const auto& [name, order] : kOrders)
        if (text == name)
            return order;
    throw std::invalid_argument("--date-order expects mdy, dmy, ymd, ydm, myd or dym, not '" +
                                text + "'");
}

} // namespace

bool isLoopback(const std::string& address) {
    in_addr parsed{};
    if (::inet_pton(AF_INET, address.c_str(), &parsed) != 1)
        return false;
    return (ntohl(parsed.s_addr) >> 24) == 127;
}

Options parseOptions(const std::vector<std::string>& args,
                     const std::optional<std::string>& environmentPassword) {
    Options o;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw std::invalid_argument(a + " expects a value");
            return args[++i];
        };
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--port") {
            o.port = static_cast<uint16_t>(parseNumber(a, value(), 0, 65535));
        } else if (a == "--bind") {
            o.bind = value();
        } else if (a == "--data") {
            o.config.dataDir = value();
        } else if (a == "--sample") {
            o.config.sample = true;
        } else if (a == "--user") {
            o.session.user = value();
        } else if (a == "--password") {
            o.session.password = value();
        } else if (a == "--date-order") {
            o.config.dateOrder = parseDateOrder(value());
        } else if (a == "--server-charset") {
            const std::optional<Charset> charset = charsetByName(value());
            if (!charset)
                throw std::invalid_argument("--server-charset expects utf8 or iso_1, not '" +
                                            args[i] + "'");
            o.config.serverCharset = *charset;
        } else if (a == "--server-name") {
            o.config.serverName = value();
            if (o.config.serverName.empty() || o.config.serverName.size() > 30)
                throw std::invalid_argument("--server-name expects 1 to 30 characters");
        } else if (a == "--drop-after-rows") {
            o.session.dropAfterRows = parseNumber(a, value(), 0, INT64_MAX);
        } else if (a == "--login-delay-ms") {
            o.session.loginDelayMs = static_cast<int>(parseNumber(a, value(), 0, 3600000));
        } else if (a == "--result-delay-ms") {
            o.session.resultDelayMs = static_cast<int>(parseNumber(a, value(), 0, 3600000));
        } else if (a == "--login-timeout") {
            o.session.loginTimeoutMs = static_cast<int>(parseNumber(a, value(), 1, 3600) * 1000);
        } else if (a == "--lock-wait") {
            o.config.lockWaitSeconds = static_cast<int>(parseNumber(a, value(), 0, INT32_MAX));
        } else if (a == "--max-connections") {
            o.maxConnections = static_cast<int>(parseNumber(a, value(), 1, 100000));
        } else if (a == "--silent") {
            o.session.silent = true;
        } else {
            throw std::invalid_argument("unknown argument '" + a + "' (see --help)");
        }
    }
    if (o.session.password && !o.session.user)
        throw std::invalid_argument("--password needs --user");
    if (o.session.user && !o.session.password && environmentPassword)
        o.session.password = *environmentPassword;
    // Without a login check anyone who reaches the port may do anything: only this machine
    // may reach a server without one.
    if (!isLoopback(o.bind) && (!o.session.user || o.session.password.value_or("").empty()))
        throw std::invalid_argument("a server reachable from the network needs --user and a "
                                    "password (--bind " +
                                    o.bind + ")");
    if (o.session.user && !o.session.password)
        o.session.password = std::string();
    return o;
}

std::string usage() {
    return "usage: tovrin-devserver [options]\n"
           "A TDS 5.0 development server on loopback that executes SQL with SQLite.\n"
           "\n"
           "  --port N              port to listen on (0, the default: any free port)\n"
           "  --bind ADDR           address to listen on (default 127.0.0.1)\n"
           "  --data DIR            keep database files in DIR (default: temporary files,\n"
           "                        in shared memory where there is some, removed at exit)\n"
           "  --sample              create the sample database pubs\n"
           "  --user NAME           the only login accepted (default: any login)\n"
           "  --password PW         its password (default: empty, or the value of the\n"
           "                        environment variable TOVRIN_DEVSERVER_PASSWORD, which\n"
           "                        unlike the command line other users cannot see)\n"
           "  --date-order ORDER    mdy (default), dmy, ymd, ydm, myd or dym\n"
           "  --server-name NAME    name the server gives in messages (default TOVRIN)\n"
           "  --server-charset CS   the server's character set: utf8 (default) or iso_1;\n"
           "                        text is converted to and from the one a client asks for\n"
           "  --lock-wait S         seconds a session waits for a lock before it fails with\n"
           "                        error 12205, unless it sets its own with set lock wait\n"
           "                        (default: until the lock is granted)\n"
           "  --max-connections N   clients served at once (default 256); more are refused\n"
           "  --login-timeout S     drop a connection whose login is not complete after S\n"
           "                        seconds (default 60)\n"
           "  --help                print this text\n"
           "\n"
           "Fault switches for tests:\n"
           "  --drop-after-rows N   close the connection after N rows of a result\n"
           "  --login-delay-ms N    wait N ms before answering a login\n"
           "  --result-delay-ms N   wait N ms before answering each request\n"
           "  --silent              accept connections and never answer\n"
           "\n"
           "A --bind address other than a loopback one (127.x.x.x) needs --user and a\n"
           "non-empty password.\n"
           "Once ready it prints one line 'listening on ADDR:PORT'. SIGINT or SIGTERM stop it.\n";
}

} // namespace devserver
