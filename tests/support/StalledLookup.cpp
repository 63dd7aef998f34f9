// Loaded before the C library (LD_PRELOAD): a lookup of "stalled.invalid"
// hangs for a minute, as behind a name server that never answers; one of
// "unknown.invalid" fails at once, as for a name nobody knows; every other
// name is looked up as usual.
#include <dlfcn.h>
#include <netdb.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** res) {
    if (node && std::strcmp(node, "stalled.invalid") == 0) {
        // As a resolver does, a signal does not end the wait.
        const std::time_t end = std::time(nullptr) + 60;
        while (std::time(nullptr) < end)
            ::sleep(1);
        return EAI_AGAIN;
    }
    if (node && std::strcmp(node, "unknown.invalid") == 0)
        return EAI_NONAME;
    using Lookup = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto next = reinterpret_cast<Lookup>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return next(node, service, hints, res);
}
