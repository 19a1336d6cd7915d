#!/usr/bin/env python3
"""Builds a distributable folder of an app: the host executable, the app's package.json and the
files it names, www/assets.dat packed from APP_DIR/www (or the loose www folder), the extension
library when the app has one, and a zip of it all beside the folder.

Usage: package_app.py BUILD_DIR APP_DIR OUT_DIR [--loose] [--no-zip] [--quiet]

BUILD_DIR holds the build trees: native/ (the bundle packer) and release/ (the host that ships,
without test hooks; win/ is for tests only). The
vendor's WebView2Loader.dll is never added (nor any other loader): it comes from the WebView2 SDK
and must be placed beside the executable on Windows.
"""
import json
import os
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path, PurePosixPath, PureWindowsPath

HOST_EXE = "WebView2Wrapper.exe"
EXTENSION = "DI2ZozUzoraru.dll"
LOADER = "WebView2Loader.dll"
FIXED_RUNTIME_FOLDER = "webview2"
ZIP_TIME = (1980, 1, 1, 0, 0, 0)  # every zip entry gets the same date, so runs give equal bytes

# The spellings the host accepts for each mode (settings section of package.json).
MODES = {
    "content-mode": ("bundle", "remote"),
    "distribution-mode": ("evergreen", "fixed"),
    "hosting-mode": ("windowed", "window-to-visual"),
}


class PackageError(Exception):
    pass


def read_settings(app):
    path = app / "package.json"
    try:
        raw = path.read_bytes()
    except OSError:
        raise PackageError(f"{path}: not found; an app folder needs a package.json")
    # The host stops reading at the first zero byte and skips a byte-order mark.
    text = raw.split(b"\0", 1)[0].decode("utf-8-sig", errors="replace")
    try:
        settings = json.loads(text)
    except ValueError as e:
        raise PackageError(f"{path}: not valid JSON ({e}); the host would refuse to start")
    name = settings.get("name") if isinstance(settings, dict) else None
    if not isinstance(name, str) or not name:
        raise PackageError(f"{path}: \"name\" must be a non-empty string")
    section = settings.get("settings")
    if isinstance(section, dict):
        for key, allowed in MODES.items():
            value = section.get(key)
            if isinstance(value, str) and value not in allowed:
                raise PackageError(f"{path}: \"{key}\" is \"{value}\"; it must be one of "
                                   + ", ".join(f'"{a}"' for a in allowed))
    return raw, settings


def setting(settings, section, key):
    value = settings.get(section)
    return value.get(key) if isinstance(value, dict) else None


def safe_relative(text):
    """A path named in package.json as a relative path inside the app folder, or None."""
    if not text or "\0" in text or ":" in text:
        return None
    parts = PureWindowsPath(text).parts
    if PureWindowsPath(text).is_absolute() or text[0] in "/\\" or ".." in parts:
        return None
    return PurePosixPath(*parts)


def sample_extension(root, build, app):
    """The project's own sample extension, for the project's own sample app."""
    if app != (root / "examples" / "hello").resolve():
        return None
    built = build / "win" / "examples" / "extension" / EXTENSION
    if built.is_file():
        return built
    found = sorted((build / "win" / "examples").rglob(EXTENSION)) if (build / "win" / "examples").is_dir() else []
    return found[0] if found else None


def check_out_dir(app, out):
    www = app / "www"
    if out == app or app.is_relative_to(out):
        raise PackageError(f"{out}: the output folder may not be the app folder or hold it")
    if out.is_relative_to(www):
        raise PackageError(f"{out}: the output folder may not lie inside {www}")
    if out.exists():
        if not out.is_dir():
            raise PackageError(f"{out}: exists and is not a folder")
        if any(out.iterdir()) and not (out / HOST_EXE).is_file():
            raise PackageError(f"{out}: not empty and not an earlier package; choose another folder")


def copy_tree(source, target):
    """Copies a folder; links to files are followed."""
    shutil.copytree(source, target, symlinks=False)


def write_zip(folder, archive):
    """A zip of the folder under its own name, entries sorted, fixed dates and permissions."""
    entries = sorted(p for p in folder.rglob("*") if p.is_file())
    temporary = archive.with_name(archive.name + ".partial")
    with zipfile.ZipFile(temporary, "w", compression=zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for path in entries:
            name = f"{folder.name}/{path.relative_to(folder).as_posix()}"
            info = zipfile.ZipInfo(name, date_time=ZIP_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 0  # MS-DOS: no Unix owner or mode bits in the archive
            info.external_attr = 0
            with open(path, "rb") as f:
                z.writestr(info, f.read())
    os.replace(temporary, archive)
    return len(entries)


def warn(text):
    print(f"warning: {text}", flush=True)


def package(build, app, out, loose, make_zip, say):
    root = Path(__file__).resolve().parent.parent
    raw, settings = read_settings(app)
    check_out_dir(app, out)

    exe = build / "release" / HOST_EXE
    packer = build / "native" / "tools" / "packer" / "wrapper-bundle"
    if not exe.is_file():
        raise PackageError(f"{exe}: not built (run ./dev build-release)")
    www = app / "www"
    remote = setting(settings, "settings", "content-mode") == "remote"
    if not www.is_dir() and not remote:
        raise PackageError(f"{www}: not found; a bundle-mode app serves its pages from www/")
    if www.is_dir() and not loose and not packer.is_file():
        raise PackageError(f"{packer}: not built (run ./dev build)")

    out.parent.mkdir(parents=True, exist_ok=True)
    staging = out.with_name(f".{out.name}.staging-{os.getpid()}")
    shutil.rmtree(staging, ignore_errors=True)
    staging.mkdir()
    try:
        shutil.copy2(exe, staging / HOST_EXE)
        (staging / "package.json").write_bytes(raw)

        icon = setting(settings, "window", "icon")
        if isinstance(icon, str) and icon:
            relative = safe_relative(icon)
            if relative is None:
                warn(f"window icon \"{icon}\" is not a path inside the app folder; not copied")
            elif not (app / relative).is_file():
                warn(f"window icon {app / relative} not found; the default icon will be used")
            else:
                (staging / relative).parent.mkdir(parents=True, exist_ok=True)
                shutil.copy2(app / relative, staging / relative)

        extension = app / EXTENSION
        if not extension.is_file():
            extension = sample_extension(root, build, app)
        if extension is not None:
            shutil.copy2(extension, staging / EXTENSION)

        if setting(settings, "settings", "distribution-mode") == "fixed":
            runtime = app / FIXED_RUNTIME_FOLDER
            if runtime.is_dir():
                copy_tree(runtime, staging / FIXED_RUNTIME_FOLDER)
            else:
                warn(f"\"fixed\" distribution mode, but {runtime} is missing; "
                    "put the fixed WebView2 runtime there before shipping")
        if (app / LOADER).exists():
            warn(f"{app / LOADER} is not copied; use the vendor's loader from the WebView2 SDK")

        if www.is_dir():
            if loose:
                copy_tree(www, staging / "www")
            else:
                (staging / "www").mkdir()
                bundle = staging / "www" / "assets.dat"
                run = subprocess.run([str(packer), "pack", str(www), str(bundle)],
                                     capture_output=True, text=True)
                if run.returncode != 0:
                    raise PackageError(f"packing {www} failed: {run.stderr.strip()}")
                check = subprocess.run([str(packer), "verify", str(bundle)],
                                       capture_output=True, text=True)
                if check.returncode != 0:
                    raise PackageError(f"the new bundle does not verify: {check.stderr.strip()}")
                say(run.stdout.strip().replace(str(staging), str(out)))

        if out.exists():
            shutil.rmtree(out)
        os.replace(staging, out)
    finally:
        shutil.rmtree(staging, ignore_errors=True)

    archive = out.with_name(out.name + ".zip")
    if make_zip:
        count = write_zip(out, archive)
        say(f"zipped {count} files into {archive}")
    for path in sorted(p for p in out.rglob("*") if p.is_file()):
        say(f"  {path.relative_to(out).as_posix()}")
    return archive


def main(argv):
    flags = {a for a in argv if a.startswith("--")}
    positional = [a for a in argv if not a.startswith("--")]
    unknown = flags - {"--loose", "--no-zip", "--quiet"}
    if len(positional) != 3 or unknown:
        print("usage: package-app.sh BUILD_DIR APP_DIR OUT_DIR [--loose] [--no-zip] [--quiet]",
              file=sys.stderr)
        return 2
    build, app, out = (Path(p).resolve() for p in positional)
    quiet = "--quiet" in flags
    say = (lambda text: None) if quiet else print
    try:
        package(build, app, out, "--loose" in flags, "--no-zip" not in flags, say)
    except (PackageError, OSError) as e:
        print(f"package-app: {e}", file=sys.stderr)
        return 1
    if not quiet:
        print(f"packaged {app.name} into {out}")
        print(f"For Windows, place the vendor's {LOADER} (from the Microsoft Edge WebView2 SDK) "
              f"beside {HOST_EXE} in {out}.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
