"""Checks that an x86-64 build of the module runs on every x86-64 CPU.

    python scripts/check_isa.py MODULE.so

Disassembles the module and requires every instruction beyond baseline x86-64
to sit in a function variant compiled for a level that has it (the clones
named `[clone .arch_x86_64_vN]`), which runs only when the CPU reports that
level. Needs objdump and the module's symbol table (an unstripped build).
Prints the number of variants per level; exits 1 listing each stray
instruction, or 2 when the file cannot be checked.
"""

import re
import subprocess
import sys
from collections import Counter

LEVELS = ("x86-64", "x86-64-v2", "x86-64-v3", "x86-64-v4")

# Instructions without a VEX or EVEX prefix that baseline x86-64 lacks, by the
# level that brings them: SSE3, SSSE3, SSE4.1, SSE4.2, POPCNT, CMPXCHG16B and
# LAHF/SAHF for v2; LZCNT and MOVBE for v3 (BMI1/2 are VEX-encoded). TZCNT is
# left out: the compiler writes `rep bsf` for a count of trailing zeros of a
# word known to be nonzero, the same bytes, which older CPUs run as BSF with
# the same result.
LEGACY_PREFIXES = {
    1: (
        "addsubp haddp hsubp lddqu movddup movshdup movsldup fisttp monitor mwait "
        "pabs palignr phadd phsub pmaddubsw pmulhrsw pshufb psign "
        "blendp blendvp dppd dpps extractps insertps movntdqa mpsadbw packusdw pblendvb pblendw "
        "pcmpeqq pextrb pextrd pextrq phminposuw pinsrb pinsrd pinsrq pmaxsb pmaxsd pmaxud pmaxuw "
        "pminsb pminsd pminud pminuw pmovsx pmovzx pmuldq pmulld ptest roundp rounds "
        "crc32 pcmpestr pcmpistr pcmpgtq popcnt cmpxchg16b lahf sahf"
    ).split(),
    2: "lzcnt movbe".split(),
}
PREFIX_BYTES = {"66", "67", "f2", "f3", "2e", "3e", "26", "64", "65", "36", "f0"}

FUNCTION = re.compile(r"^[0-9a-f]+ <(.*)>:$")
INSTRUCTION = re.compile(r"^\s*[0-9a-f]+:\t([0-9a-f ]+)\t(\S+)(.*)$")
CLONE_LEVEL = re.compile(r"\[clone \.arch_x86_64_v([234])\]")
WIDE_REGISTER = re.compile(r"%zmm|%k[0-7]\b|%[xy]mm(1[6-9]|2[0-9]|3[01])\b")


def required_level(raw_bytes, mnemonic, operands):
    """The lowest level (index into LEVELS) that has this instruction."""
    codes = raw_bytes.split()
    first = next((b for b in codes if b not in PREFIX_BYTES), "")
    if first == "62" or WIDE_REGISTER.search(operands):
        return 3  # EVEX: AVX-512
    if first in ("c4", "c5"):
        return 2  # VEX: AVX, AVX2, FMA, BMI1/2
    for level, prefixes in LEGACY_PREFIXES.items():
        if mnemonic.startswith(tuple(prefixes)):
            return level
    return 0


def check(path):
    listing = subprocess.run(
        ["objdump", "-d", "-C", "-w", str(path)], check=True, capture_output=True, text=True
    ).stdout
    clones = Counter()
    strays = []
    function, allowed = "?", 0
    for line in listing.splitlines():
        if match := FUNCTION.match(line):
            function = match.group(1)
            clone = CLONE_LEVEL.search(function)
            allowed = int(clone.group(1)) - 1 if clone else 0
            if clone and "[clone .resolver]" not in function:
                clones[LEVELS[allowed]] += 1
        elif match := INSTRUCTION.match(line):
            level = required_level(*match.groups())
            if level > allowed:
                strays.append(f"{LEVELS[level]:9} {match.group(2)}{match.group(3)}  in {function}")
    return clones, strays


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    clones, strays = check(sys.argv[1])
    if not clones:
        print("no function variants found: a stripped build, or not an x86-64 one", file=sys.stderr)
        sys.exit(2)
    print("variants: " + ", ".join(f"{level} {clones[level]}" for level in LEVELS[1:]))
    for stray in strays:
        print(stray)
    if strays:
        print(f"{len(strays)} instructions beyond baseline x86-64 outside their variants", file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
