// SPDX-License-Identifier: MIT
#include "service/CurlLibrary.h"

#include <cstdlib>
#include <stdexcept>
#include <string>

#include <dlfcn.h>

namespace {

// The soname of the OpenSSL build of libcurl 4 (Debian's libcurl4).
constexpr const char *libraryName = "libcurl.so.4";

template<class F> void resolve(void *handle, F &function, const char *name)
{
    function = reinterpret_cast<F>(dlsym(handle, name));
    if (!function)
        throw std::runtime_error(std::string(libraryName) + " has no " + name);
}

CurlLibrary load(void (*atExit)())
{
    // Kept loaded for the rest of the process; its symbols stay out of the global scope.
    void *handle = dlopen(libraryName, RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        throw std::runtime_error(dlerror());
    CurlLibrary curl;
    resolve(handle, curl.global_init, "curl_global_init");
    resolve(handle, curl.easy_strerror, "curl_easy_strerror");
    resolve(handle, curl.easy_init, "curl_easy_init");
    resolve(handle, curl.easy_cleanup, "curl_easy_cleanup");
    resolve(handle, curl.easy_setopt, "curl_easy_setopt");
    resolve(handle, curl.easy_getinfo, "curl_easy_getinfo");
    resolve(handle, curl.multi_init, "curl_multi_init");
    resolve(handle, curl.multi_cleanup, "curl_multi_cleanup");
    resolve(handle, curl.multi_setopt, "curl_multi_setopt");
    resolve(handle, curl.multi_add_handle, "curl_multi_add_handle");
    resolve(handle, curl.multi_remove_handle, "curl_multi_remove_handle");
    resolve(handle, curl.multi_perform, "curl_multi_perform");
    resolve(handle, curl.multi_info_read, "curl_multi_info_read");
    resolve(handle, curl.multi_timeout, "curl_multi_timeout");
    resolve(handle, curl.multi_poll, "curl_multi_poll");
    resolve(handle, curl.multi_wakeup, "curl_multi_wakeup");
    resolve(handle, curl.slist_append, "curl_slist_append");
    resolve(handle, curl.slist_free_all, "curl_slist_free_all");
    if (curl.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
        throw std::runtime_error("libcurl could not be initialised");
    // Registered after the handlers that initialising libcurl and OpenSSL registered, so it runs
    // before them.
    if (atExit && std::atexit(atExit) != 0)
        throw std::runtime_error("no exit handler could be registered");
    return curl;
}

} // namespace

const CurlLibrary &CurlLibrary::get(void (*atExit)())
{
    // A failed load throws out of the initialisation, which the next call tries again.
    static const CurlLibrary library = load(atExit);
    return library;
}
