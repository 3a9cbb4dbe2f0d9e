"""Loads a written file-manager extension with the real GObject bindings
(gi.repository.Nautilus 4.0 or Caja 2.0), asks its menu provider for the
items of several selections, activates them and checks what the program it
starts receives.

    menu_extension_check.py MODULE VERSION EXTENSION RECORD FOLDER

The extension was written for a stub program that writes its arguments,
each followed by a NUL byte, to RECORD. FOLDER is an empty folder for the
selected files. Exit status 0 when every check passed, 77 when the bindings
are not installed, 1 otherwise (the failed checks on standard error).
"""
import os
import sys
import time
import types

MODULE, VERSION, EXTENSION, RECORD, FOLDER = sys.argv[1:6]
RECORD = os.fsencode(RECORD)
FOLDER = os.fsencode(FOLDER)

try:
    import gi

    gi.require_version(MODULE, VERSION)
    from gi.repository import Gio, GObject

    FileManager = getattr(__import__("gi.repository", fromlist=[MODULE]), MODULE)
except (ImportError, ValueError) as e:
    print(f"{MODULE} {VERSION} bindings missing: {e}", file=sys.stderr)
    sys.exit(77)

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


class FileInfo(GObject.GObject, FileManager.FileInfo):
    """A selected item as the file manager hands it over."""

    def __init__(self, path, mime, directory=False, uri=None):
        super().__init__()
        self.path = path
        self.mime = mime
        self.directory = directory
        self.file = Gio.File.new_for_uri(uri) if uri else Gio.File.new_for_path(os.fsdecode(path))

    def do_get_location(self):
        return self.file

    def do_get_uri(self):
        return self.file.get_uri()

    def do_get_uri_scheme(self):
        return self.file.get_uri_scheme()

    def do_get_name(self):
        return self.file.get_basename()

    def do_get_mime_type(self):
        return self.mime

    def do_is_mime_type(self, mime):
        return mime == self.mime

    def do_is_directory(self):
        return self.directory

    def do_is_gone(self):
        return False


def make(name, content=b"x"):
    path = os.path.join(FOLDER, os.fsencode(name))
    with open(path, "wb") as f:
        f.write(content)
    return path


def recorded():
    """What the started program received, one entry per argument."""
    for _ in range(200):
        if os.path.exists(RECORD):
            break
        time.sleep(0.025)
    time.sleep(0.05)
    with open(RECORD, "rb") as f:
        data = f.read()
    os.unlink(RECORD)
    return data.split(b"\0")[:-1]


# Loaded as the file manager loads it: the file's code run as a module.
extension = types.ModuleType("written_extension")
with open(EXTENSION, "rb") as source:
    exec(compile(source.read(), EXTENSION, "exec"), extension.__dict__)
providers = [
    cls
    for cls in vars(extension).values()
    if isinstance(cls, type) and issubclass(cls, FileManager.MenuProvider) and cls is not FileManager.MenuProvider
]
check(len(providers) == 1, f"one menu provider, found {len(providers)}")
provider = providers[0]()
program = extension.PROGRAM


def items_for(infos):
    # GNOME Files 43 passes the files alone, Caja the window first.
    items = provider.get_file_items(infos) if MODULE == "Nautilus" else provider.get_file_items(None, infos)
    return list(items or [])


def labels(items):
    return [item.get_property("label") for item in items]


jmz = FileInfo(make("secret.jmz"), "application/x-vesk-jmz")
age = FileInfo(make("notes.AGE"), "application/octet-stream")
txt = FileInfo(make("plain.txt"), "text/plain")
os.mkdir(os.path.join(FOLDER, b"a folder"))
folder = FileInfo(os.path.join(FOLDER, b"a folder"), "inode/directory", directory=True)
# A folder named like a container is still a folder.
os.mkdir(os.path.join(FOLDER, b"box.jmz"))
jmz_folder = FileInfo(os.path.join(FOLDER, b"box.jmz"), "inode/directory", directory=True)
# Named by extension only: the type is the generic one.
renamed = FileInfo(make("copy.jmz"), "application/octet-stream")

check(labels(items_for([jmz])) == ["用 Vesk 加密", "用 Vesk 解密"], f".jmz: {labels(items_for([jmz]))}")
check(labels(items_for([renamed, age])) == ["用 Vesk 加密", "用 Vesk 解密"], "by extension")
check(labels(items_for([txt])) == ["用 Vesk 加密"], f".txt: {labels(items_for([txt]))}")
check(labels(items_for([folder])) == ["用 Vesk 加密"], f"folder: {labels(items_for([folder]))}")
check(labels(items_for([jmz_folder])) == ["用 Vesk 加密"], "folder named .jmz")
check(labels(items_for([jmz, txt, folder])) == ["用 Vesk 加密"], "mixed selection")
# The desktop's language, read each time the menu is built.
saved = {name: os.environ.get(name) for name in ("LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG")}
for lang, expected in (("en_US.UTF-8", ["Encrypt with Vesk", "Decrypt with Vesk"]),
                       ("zh_CN.UTF-8", ["用 Vesk 加密", "用 Vesk 解密"]),
                       ("C", ["用 Vesk 加密", "用 Vesk 解密"])):
    os.environ.update(LANGUAGE="", LC_ALL="", LC_MESSAGES="", LANG=lang)
    check(labels(items_for([jmz])) == expected, f"{lang}: {labels(items_for([jmz]))}")
for name, value in saved.items():
    if value is None:
        os.environ.pop(name, None)
    else:
        os.environ[name] = value
check(items_for([]) == [], "empty selection")
remote = FileInfo(b"/x.jmz", "application/x-vesk-jmz", uri="http://example.invalid/x.jmz")
check(items_for([jmz, remote]) == [], "a file without a local path: no items")
for item in items_for([jmz]):
    check(item.get_property("icon") == "vesk", f"icon of {item.get_property('label')}")
    check(item.get_property("name").startswith("VeskMenu::"), "item names")

# Activating: the program gets the switch and every path, one argument each.
encrypt = items_for([jmz, txt, folder])[0]
encrypt.activate()
check(recorded() == [program, b"--encrypt", jmz.path, txt.path, folder.path], "encrypt command line")

odd_names = [
    b"with space.jmz",
    b"it's \"quoted\" $HOME `x`.jmz",
    b"line\nbreak.jmz",
    b"\xff\xfe not utf-8 \xe4.jmz",
    b"-starts-with-dash.jmz",
    b"back\\slash;semi|pipe&amp.jmz",
]
odd = [FileInfo(make(name), "application/x-vesk-jmz") for name in odd_names]
decrypt = items_for(odd)
check(labels(decrypt) == ["用 Vesk 加密", "用 Vesk 解密"], "odd names are containers")
decrypt[1].activate()
got = recorded()
check(got == [program, b"--decrypt"] + [info.path for info in odd], f"decrypt command line: {got!r}")
check(all(os.path.exists(p) for p in got[2:]), "every path names the file")

if failures:
    for f in failures:
        print("FAILED:", f, file=sys.stderr)
    sys.exit(1)
print(f"{MODULE} {VERSION}: all checks passed")
