// The app origin and the tests made against it.
#pragma once

#include <string>

#include "config/app_config.h"

// The virtual origin the packaged app is served from in bundle mode. No server answers it: the
// host answers every request under it itself.
inline constexpr char kBundleAppOrigin[] = "https://app.localhost/";

// Bundle mode: the fixed origin; remote mode: `main` verbatim.
std::string AppOriginFor(const AppConfig& config);
// The first page: the origin followed by `main` in bundle mode, `main` alone in remote mode.
std::string StartUrlFor(const AppConfig& config, const std::string& appOrigin);

// Whether a URI lies under the app origin: its first bytes equal `appOrigin` exactly (letter case
// included). When `appOrigin` names a bare origin without a path (no "/" after the "//" that
// follows its scheme), the byte after it must also be absent or one of "/", "?", "#", so that
// https://example.com does not admit https://example.com.attacker.net/.
bool PassesOriginTest(const std::string& uri, const std::string& appOrigin);

// The web origin of an absolute hierarchical URI, "scheme://host" or "scheme://host:port": scheme
// and host in lower case, user information dropped, the scheme's default port (80 for http, 443
// for https) left out. Empty for a URI without an authority (data:, about:blank, file paths) or
// with an empty host or a port that is not a number: such a URI has no origin it could share.
std::string WebOriginOf(const std::string& uri);

// Whether a URI a page asked to open in a new window may be handed to the system's default
// handler: any absolute URI with a scheme except file:, javascript:, data:, blob: and about:;
// never a drive path (C:...), a network path (\\server...) or a URI without a scheme.
bool MayOpenExternally(const std::string& uri);
