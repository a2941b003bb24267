// SPDX-License-Identifier: MIT
#pragma once

#include <curl/curl.h>

// libcurl, loaded when the first request needs it instead of with the program: with the libraries
// it depends on (OpenSSL, GnuTLS, LDAP, SSH, ...) it adds about 6 ms and 5 MiB to a start-up that
// sends nothing. Only these functions are used; the types and constants come from <curl/curl.h>.
struct CurlLibrary
{
    CURLcode (*global_init)(long flags) = nullptr;
    const char *(*easy_strerror)(CURLcode code) = nullptr;
    CURL *(*easy_init)() = nullptr;
    void (*easy_cleanup)(CURL *easy) = nullptr;
    CURLcode (*easy_setopt)(CURL *easy, CURLoption option, ...) = nullptr;
    CURLcode (*easy_getinfo)(CURL *easy, CURLINFO info, ...) = nullptr;
    CURLM *(*multi_init)() = nullptr;
    CURLMcode (*multi_cleanup)(CURLM *multi) = nullptr;
    CURLMcode (*multi_setopt)(CURLM *multi, CURLMoption option, ...) = nullptr;
    CURLMcode (*multi_add_handle)(CURLM *multi, CURL *easy) = nullptr;
    CURLMcode (*multi_remove_handle)(CURLM *multi, CURL *easy) = nullptr;
    CURLMcode (*multi_perform)(CURLM *multi, int *running) = nullptr;
    CURLMsg *(*multi_info_read)(CURLM *multi, int *queued) = nullptr;
    CURLMcode (*multi_timeout)(CURLM *multi, long *ms) = nullptr;
    CURLMcode (*multi_poll)(CURLM *multi, curl_waitfd *extra, unsigned count, int ms, int *ready) = nullptr;
    CURLMcode (*multi_wakeup)(CURLM *multi) = nullptr;
    curl_slist *(*slist_append)(curl_slist *list, const char *line) = nullptr;
    void (*slist_free_all)(curl_slist *list) = nullptr;

    // The library, loaded and initialised (curl_global_init) by the first call, from any thread;
    // later calls return the same. Throws std::runtime_error when it cannot be loaded or lacks a
    // function; a later call tries again.
    //
    // The first successful call's `atExit` runs at the process's exit before the exit handlers
    // that libcurl and OpenSSL register while they are initialised: whatever still holds
    // libcurl's state then frees it there.
    static const CurlLibrary &get(void (*atExit)() = nullptr);
};
