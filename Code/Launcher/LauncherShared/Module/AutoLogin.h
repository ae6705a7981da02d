#pragma once

#include "xString.h"

// Exchanges an auto-login key (as typed after "autologinkey=") for the launch
// parameter at the publisher's translation service: `translateUrl` (ending in
// "/get?code=") + the key's first 12 bytes. Empty when the key is too short or the
// exchange fails; the player then logs in on the page. Blocks for the request.
xWString TranslateAutoLoginKey(const xWString& key, const xString& translateUrl);

// The key as it goes into the query: its first 12 bytes of UTF-8 (never half a
// character), with every byte outside the unreserved URL characters percent-encoded.
xString AutoLoginKeyForQuery(const xWString& key);

// The launch parameter in a translation service answer: whatever follows the first
// "url:" once braces, backslashes and quotes are gone; empty when there is none.
xWString LaunchParamFromAnswer(const xString& answer);
