#!/usr/bin/python3
"""Copies a page from standard input to standard output with the hashes of
its one inline script and one inline style written into its
Content-Security-Policy, in place of @SCRIPT_HASH@ and @STYLE_HASH@, so that
the policy lets these two run and nothing else inline.

  csp-hashes.py <IN.html >OUT.html"""
import base64
import hashlib
import re
import sys


def source_hash(page, tag):
    """The policy's hash of the page's one <tag> element without attributes:
    SHA-256 of its text between the tags, as UTF-8."""
    found = re.findall(r"<%s>(.*?)</%s>" % (tag, tag), page, re.S)
    if len(found) != 1 or len(re.findall(r"<%s\b" % tag, page)) != 1:
        sys.exit("csp-hashes: the page needs exactly one plain <%s> element" % tag)
    digest = hashlib.sha256(found[0].encode("utf-8")).digest()
    return "'sha256-%s'" % base64.b64encode(digest).decode("ascii")


def main():
    if len(sys.argv) != 1:
        sys.exit("usage: " + __doc__.split("\n\n")[1].strip())
    page = sys.stdin.buffer.read().decode("utf-8")
    for placeholder, tag in (("@SCRIPT_HASH@", "script"), ("@STYLE_HASH@", "style")):
        if page.count(placeholder) != 1:
            sys.exit("csp-hashes: %s must appear once in the policy" % placeholder)
        page = page.replace(placeholder, source_hash(page, tag))
    sys.stdout.buffer.write(page.encode("utf-8"))


if __name__ == "__main__":
    main()
