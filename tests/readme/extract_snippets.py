#!/usr/bin/env python3
"""Writes each ```cpp block of a Markdown file to OUTDIR/snippet_N.cpp and
each ```python block to OUTDIR/snippet_N.py, exactly as printed, and prints
the paths, one per line. Usage: extract_snippets.py FILE.md OUTDIR"""

import os
import re
import sys


def main(markdown, outdir):
    with open(markdown, encoding="utf-8") as source:
        blocks = re.findall(r"^```(cpp|python)\n(.*?)^```$", source.read(),
                            re.MULTILINE | re.DOTALL)
    if not any(language == "cpp" for language, _ in blocks):
        sys.exit("%s has no ```cpp blocks" % markdown)
    os.makedirs(outdir, exist_ok=True)
    for number, (language, block) in enumerate(blocks, 1):
        extension, comment = ("cpp", "//") if language == "cpp" else ("py", "#")
        path = os.path.join(outdir, "snippet_%d.%s" % (number, extension))
        text = "%s From %s, %s block %d.\n%s" % (comment, markdown, language,
                                                number, block)
        # Rewritten only when changed, so an unchanged README builds nothing.
        if not os.path.exists(path) or open(path).read() != text:
            with open(path, "w", encoding="utf-8") as out:
                out.write(text)
        print(path)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    main(sys.argv[1], sys.argv[2])
