# @PROGRAM_NAME@: the context-menu items "@ENCRYPT_ITEM@" and "@DECRYPT_ITEM@" for @FILE_MANAGER@.
# X-Vesk-Integration: context-menu
# Written by "@CONTEXT_MENU_BUTTON@" (vesk-cli context-menu) and removed again by
# "@UNREGISTER_BUTTON@" (vesk-cli unregister); a file without the line above is never touched.
import os
import subprocess
import threading

import gi

gi.require_version("@MODULE@", "@VERSION@")
from gi.repository import GObject, @MODULE@ as FileManager  # noqa: E402

# The window program, as the bytes of its path.
PROGRAM = @PROGRAM@
ENCRYPTED_TYPES = ("application/x-vesk-jmz",)
ENCRYPTED_EXTENSIONS = (b".jmz", b".age")
# The items' texts in Chinese and in English, chosen by the desktop's language
# each time the menu is built, as the programs choose theirs.
TEXTS = {
    "zh": ("@ENCRYPT_ITEM@", "@ENCRYPT_TIP@", "@DECRYPT_ITEM@", "@DECRYPT_TIP@"),
    "en": ("@ENCRYPT_ITEM_EN@", "@ENCRYPT_TIP_EN@", "@DECRYPT_ITEM_EN@", "@DECRYPT_TIP_EN@"),
}


def language():
    """"zh" for zh_* and the C locale, "en" for any other: the first of
    LANGUAGE (its first entry), LC_ALL, LC_MESSAGES and LANG that is set."""
    for name in ("LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"):
        first = os.environ.get(name, "").split(":")[0]
        if not first:
            continue
        base = first.split(".")[0].split("@")[0]
        return "zh" if base in ("C", "POSIX", "zh") or base.startswith("zh_") else "en"
    return "zh"


def local_path(info):
    """The file's path as bytes, exactly as the file system holds it; None
    for a file that is not on a local file system (the program reads paths)."""
    location = info.get_location()
    if location is None:
        return None
    path = location.get_path()
    if path is None:
        return None
    return os.fsencode(path)


def is_encrypted(info, path):
    """A container the decrypt command reads: by its type or its extension."""
    if info.is_directory():
        return False
    mime = info.get_mime_type() or ""
    return mime in ENCRYPTED_TYPES or path.lower().endswith(ENCRYPTED_EXTENSIONS)


def command_line(switch, paths):
    """The program with one switch and every selected path, each one argument."""
    return [PROGRAM, switch.encode()] + list(paths)


def start(argv):
    """Starts the window detached from the file manager; a helper thread
    collects its exit status so no zombie stays behind."""
    child = subprocess.Popen(
        argv,
        stdin=subprocess.DEVNULL,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        close_fds=True,
        start_new_session=True,
    )
    threading.Thread(target=child.wait, daemon=True).start()


def menu_items(files):
    """The items for a selection: encrypt for any files and folders, decrypt
    when every selected file is encrypted; none when something selected has
    no local path."""
    selection = []
    for info in files:
        path = local_path(info)
        if path is None:
            return []
        selection.append((info, path))
    if not selection:
        return []
    paths = [path for _, path in selection]
    items = []
    encrypt_label, encrypt_tip, decrypt_label, decrypt_tip = TEXTS[language()]
    encrypt = FileManager.MenuItem(
        name="VeskMenu::encrypt", label=encrypt_label, tip=encrypt_tip, icon="vesk"
    )
    encrypt.connect("activate", lambda _item: start(command_line("--encrypt", paths)))
    items.append(encrypt)
    if all(is_encrypted(info, path) for info, path in selection):
        decrypt = FileManager.MenuItem(
            name="VeskMenu::decrypt", label=decrypt_label, tip=decrypt_tip, icon="vesk"
        )
        decrypt.connect("activate", lambda _item: start(command_line("--decrypt", paths)))
        items.append(decrypt)
    return items


class VeskMenu(GObject.GObject, FileManager.MenuProvider):
    # GNOME Files 43 passes the files alone, Caja the window first.
    def get_file_items(self, *args):
        return menu_items(args[-1])

    def get_background_items(self, *args):
        return []
