# The vendor's WebView2 SDK (NuGet package Microsoft.Web.WebView2), pinned by version and SHA-512.
# Sourced by ./dev (and by the test of the check); nothing of the package is committed.
#
#   webview2_sdk_ensure DEPS   the SDK unpacked in DEPS/webview2-sdk, fetched when missing:
#                              WEBVIEW2_NUPKG=path (a .nupkg you downloaded) or `dotnet restore`
#   webview2_sdk_install NUPKG DEST
#                              checks NUPKG against the pinned hash and unpacks it into DEST;
#                              a package that does not match is refused and DEST is left alone

WEBVIEW2_SDK_VERSION="1.0.3719.77"
WEBVIEW2_SDK_SHA512="0a9abb1068228e208dd258354654d9b99711933ca8fd4494f5c1093123e1e851b83cb8e64c4a49e4d2ae26a434e8e36755501109c4cb7f7d488e3845254ac0a7"
_webview2_sdk_tools="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

_webview2_sdk_log() { printf '==> %s\n' "$*" >&2; }

# Succeeds when the file's SHA-512 is the pinned one; says what it found otherwise.
webview2_sdk_check() {
    local nupkg="$1" actual
    if [ ! -f "$nupkg" ]; then
        _webview2_sdk_log "WebView2 SDK package not found: $nupkg"
        return 1
    fi
    actual="$(sha512sum "$nupkg" | cut -d' ' -f1)"
    if [ "$actual" != "$WEBVIEW2_SDK_SHA512" ]; then
        _webview2_sdk_log "refusing $nupkg: its SHA-512 is $actual, not the pinned $WEBVIEW2_SDK_SHA512 of Microsoft.Web.WebView2 $WEBVIEW2_SDK_VERSION"
        return 1
    fi
}

webview2_sdk_install() {
    local nupkg="$1" dest="$2"
    webview2_sdk_check "$nupkg" || return 1
    local work="$dest.unpacking"
    rm -rf "$work"
    mkdir -p "$work"
    # A .nupkg is a zip file; extractall keeps every entry inside the target folder.
    if ! python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' \
        "$nupkg" "$work"; then
        rm -rf "$work"
        _webview2_sdk_log "could not unpack $nupkg"
        return 1
    fi
    if [ ! -f "$work/build/native/include/WebView2.h" ] || [ ! -f "$work/build/native/x64/WebView2Loader.dll" ] ||
       [ ! -f "$work/build/native/x64/WebView2LoaderStatic.lib" ]; then
        rm -rf "$work"
        _webview2_sdk_log "$nupkg does not hold build/native/include/WebView2.h, build/native/x64/WebView2Loader.dll and build/native/x64/WebView2LoaderStatic.lib"
        return 1
    fi
    cp "$nupkg" "$work/Microsoft.Web.WebView2.$WEBVIEW2_SDK_VERSION.nupkg"
    echo "$WEBVIEW2_SDK_SHA512" >"$work/.sha512"
    rm -rf "$dest"
    mv "$work" "$dest"
}

# Restores the package with the NuGet client into DEPS/nuget and prints the .nupkg's path.
_webview2_sdk_restore() {
    local deps="$1" project="$1/webview2-sdk-restore"
    mkdir -p "$project"
    cp "$_webview2_sdk_tools/webview2-sdk.csproj" "$project/"
    _webview2_sdk_log "restoring Microsoft.Web.WebView2 $WEBVIEW2_SDK_VERSION with dotnet"
    DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1 DOTNET_SKIP_FIRST_TIME_EXPERIENCE=1 \
        dotnet restore "$project/webview2-sdk.csproj" --packages "$deps/nuget" >&2 || return 1
    echo "$deps/nuget/microsoft.web.webview2/$WEBVIEW2_SDK_VERSION/microsoft.web.webview2.$WEBVIEW2_SDK_VERSION.nupkg"
}

webview2_sdk_ensure() {
    local deps="$1" dest="$1/webview2-sdk" nupkg
    local installed=""
    [ -f "$dest/.sha512" ] && [ "$(cat "$dest/.sha512")" = "$WEBVIEW2_SDK_SHA512" ] && installed=1
    if [ -n "${WEBVIEW2_NUPKG:-}" ]; then
        # A package given by hand is checked every time, also when the SDK is already unpacked.
        nupkg="$WEBVIEW2_NUPKG"
        webview2_sdk_check "$nupkg" || return 1
        [ -n "$installed" ] && return 0
    elif [ -n "$installed" ]; then
        return 0
    elif command -v dotnet >/dev/null 2>&1; then
        nupkg="$(_webview2_sdk_restore "$deps")" || {
            _webview2_sdk_log "dotnet restore of Microsoft.Web.WebView2 $WEBVIEW2_SDK_VERSION failed"
            return 1
        }
    else
        _webview2_sdk_log "the WebView2 SDK is needed and no NuGet client was found. Either install the .NET SDK (the dotnet command) and run this again, or download Microsoft.Web.WebView2 $WEBVIEW2_SDK_VERSION as a .nupkg from NuGet and run with WEBVIEW2_NUPKG=/path/to/microsoft.web.webview2.$WEBVIEW2_SDK_VERSION.nupkg"
        return 1
    fi
    webview2_sdk_install "$nupkg" "$dest" || return 1
    _webview2_sdk_log "WebView2 SDK $WEBVIEW2_SDK_VERSION checked and unpacked in $dest"
}
