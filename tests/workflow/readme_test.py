"""The README's quick-start commands run as written on the example study.

    readme_test.py QUILLON README EXAMPLES

Each `quillon scan` command of the code block under "### Quick start" runs, with QUILLON for
`quillon`, in a copy of EXAMPLES; it must exit 0 and leave its TSV."""
import os
import re
import shlex
import shutil
import subprocess
import sys
import tempfile

quillon, readme, examples = sys.argv[1:4]
text = open(readme).read()
block = re.search(r"### Quick start\n.*?```sh\n(.*?)```", text, re.S).group(1)
commands = [c for c in block.replace("\\\n", " ").splitlines() if c.startswith("quillon ")]
assert len(commands) == 3, commands
with tempfile.TemporaryDirectory() as work:
    shutil.copytree(examples, work, dirs_exist_ok=True)
    for command in commands:
        args = shlex.split(command)
        done = subprocess.run([quillon, *args[1:], "--quiet"], cwd=work, capture_output=True, text=True)
        assert done.returncode == 0, (command, done.stderr)
        out = args[args.index("--out") + 1]
        assert os.path.getsize(os.path.join(work, out + ".tsv")) > 0, command
print(f"{len(commands)} passed, 0 failed")
