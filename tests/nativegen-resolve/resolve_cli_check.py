#!/usr/bin/env python3
"""nativegen-resolve through the real program: one table of command lines and what each prints and exits with.

  resolve_cli_check.py PROGRAM FIXTURES   # FIXTURES: tests/resolve/cases.json written out

Over the "files", "exports" and "conditions" fixtures, mounted with --mount
and (by real paths) through the default mount of the system's root.
"""
import os
import subprocess
import sys

program, fixtures = sys.argv[1], os.path.realpath(sys.argv[2])
files, exports, cond = (f"/={fixtures}/{name}" for name in ("files", "exports", "conditions"))
real = f"{fixtures}/files/app"

# (arguments, exit code, what stdout is, what stderr starts with)
CASES = [
    (["--mount", files, "./x", "/app/main.js"], 0, "/app/x.js none\n", ""),
    (["--mount", files, "./c.cjs", "/app/main.js"], 0, "/app/c.cjs commonjs\n", ""),
    (["--mount", files, "--esm", "./w.mjs", "/app/main.js"], 0, "/app/w.mjs module\n", ""),
    (["--mount", files, "--esm", "./x", "/app/main.js"], 1, "", "ERR_MODULE_NOT_FOUND: Cannot find module '/app/x' imported from /app/main.js\n"),
    (["--mount", files, "./missing", "/app/main.js"], 1, "", "MODULE_NOT_FOUND: Cannot find module './missing'\nRequire stack:\n- /app/main.js\n"),
    (["--mount", files, "--esm", "./dir", "/app/main.js"], 1, "", "ERR_UNSUPPORTED_DIR_IMPORT: "),
    (["--mount", files, "fs", "/app/main.js"], 0, "fs builtin\n", ""),
    (["--mount", files, "--esm", "fs", "/app/main.js"], 0, "node:fs builtin\n", ""),
    (["--mount", exports, "cond", "/main.js"], 0, "/node_modules/cond/cjs.cjs commonjs\n", ""),
    (["--esm", "--mount", exports, "cond", "/main.js"], 0, "/node_modules/cond/esm.mjs module\n", ""),
    (["--mount", exports, "nested/null", "/main.js"], 1, "", "ERR_PACKAGE_PATH_NOT_EXPORTED: Package subpath './null' is not defined by \"exports\" in /node_modules/nested/package.json imported from /main.js\n"),
    (["--mount", cond, "host", "/main.js"], 0, "/node_modules/host/d.js none\n", ""),
    (["--mount", cond, "--conditions", "browser", "host", "/main.js"], 0, "/node_modules/host/b.js none\n", ""),
    (["--mount", cond, "--conditions", "worker,browser", "host", "/main.js"], 0, "/node_modules/host/w.js none\n", ""),
    # two mounts: the later one, inside the earlier, answers for what it covers
    (["--mount", files, "--mount", f"/app/node_modules/m={fixtures}/exports/node_modules/str", "m", "/app/main.js"],
     0, "/app/node_modules/m/main.js none\n", ""),
    # no mount: the system's root, so real paths work as they are
    (["./x", f"{real}/main.js"], 0, f"{real}/x.js none\n", ""),
    ([f"{real}/dir", f"{real}/main.js"], 0, f"{real}/dir/index.js none\n", ""),
    # bad usage: a clear error, exit 2, nothing on stdout
    ([], 2, "", "nativegen-resolve: expected SPECIFIER and FROM, got 0 arguments\nusage: "),
    (["./x"], 2, "", "nativegen-resolve: expected SPECIFIER and FROM, got 1 arguments\n"),
    (["./x", "/a.js", "/b.js"], 2, "", "nativegen-resolve: expected SPECIFIER and FROM, got 3 arguments\n"),
    (["--bogus", "./x", "/a.js"], 2, "", "nativegen-resolve: unknown option --bogus\n"),
    (["./x", "/a.js", "--mount"], 2, "", "nativegen-resolve: --mount needs a value\n"),
    (["--conditions", "a,,b", "./x", "/a.js"], 2, "", "nativegen-resolve: --conditions a,,b: an empty condition\n"),
    (["--mount", "/app", "./x", "/a.js"], 2, "", "nativegen-resolve: --mount /app: not PATH=FOLDER\n"),
    (["--mount", f"/={fixtures}/no-such-folder", "./x", "/a.js"], 2, "",
     f"nativegen-resolve: --mount /={fixtures}/no-such-folder: not a folder\n"),
    (["--mount", f"app={fixtures}/files", "./x", "/a.js"], 2, "", "nativegen-resolve: --mount app="),
    (["./x", "relative.js"], 1, "", "ERR_INVALID_ARG_VALUE: "),
]

failures = 0
for args, code, out, err in CASES:
    p = subprocess.run([program] + args, capture_output=True, text=True)
    if p.returncode != code or p.stdout != out or not p.stderr.startswith(err) or (err == "" and p.stderr):
        failures += 1
        print(f"nativegen-resolve {' '.join(args)}: exit {p.returncode} (wanted {code})\n"
              f"  stdout {p.stdout!r} (wanted {out!r})\n  stderr {p.stderr!r} (wanted {err!r}...)")
print(f"resolve_cli_check: {len(CASES) - failures} of {len(CASES)} command lines as wanted")
sys.exit(1 if failures else 0)
