// gloamer batch --emit with hostile names for the list and the output folder, through the command line: the
// Slurm script parses (bash -n) and its task reads the very list and folder; the Kubernetes Job reads back the
// same values through a YAML 1.2 parser (yaml) and a YAML 1.1 one (PyYAML on libyaml) and stays a valid Job;
// what a job cannot hold is refused with status 2 and one line that names it.
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import YAML from "yaml";
import { Job } from "kubernetes-models/batch/v1/Job";

const gloamer = process.env.GLOAMER_HOST;
const work = fs.mkdtempSync(path.join(process.env.GLOAMER_WORK ?? "/tmp", "gloamer-hostile-"));

// A word bash reads back as these bytes whatever they are ($'\xNN' for each byte).
const ansiC = (bytes) => "$'" + [...Buffer.from(bytes)].map((b) => "\\x" + b.toString(16).padStart(2, "0")).join("") + "'";
// Runs a command through bash, so that arguments that are not UTF-8 reach it as bytes.
function runBytes(args, env = {}, cwd = undefined) {
  const line = "exec " + args.map(ansiC).join(" ");
  return spawnSync("bash", ["-c", line], { cwd, env: { ...process.env, ...env }, maxBuffer: 1 << 24 });
}
const join = (...parts) => Buffer.concat(parts.map((part) => Buffer.from(part)));
const text = (bytes) => Buffer.from(bytes).toString("utf8");

// name: a piece of both the list's and the folder's names; refused: which emitters refuse it, and the bytes of
// the refusal's quoted name.
const cases = [
  { what: "a line break", name: "a\n#SBATCH --mem=1\ntouch PWNED", slurm: "\\x0a#SBATCH" },
  { what: "spaces and percents", name: "my list %A_%a %%j" },
  { what: "command substitution", name: "$(touch PWNED)`touch PWNED`${HOME}" },
  { what: "quotes and a comment", name: "it's \"a\" #1" },
  { what: "a backslash", name: "a\\b", slurm: "a\\\\b" },
  { what: "U+0085, U+2028 and a C1 control", name: "a\u0085b\u2028c\u009bd" },
  { what: "DEL", name: "a\x7fb", slurm: "a\\x7fb" },
  { what: "not UTF-8", name: Buffer.from([0x63, 0x61, 0x66, 0xe9]), kubernetes: "caf\\xe9" },
  { what: "leading dashes, named from the working folder", name: "-rf --plugin=x", relative: true },
];

// Every Job of a manifest, as PyYAML's libyaml loader reads it (YAML 1.1, like Go's YAML readers).
function yaml11(manifest) {
  const reader = "import json, sys, yaml\n" +
    "print(json.dumps(list(yaml.load_all(sys.stdin.buffer.read(), Loader=yaml.CSafeLoader))))";
  const read = spawnSync("python3", ["-c", reader], { input: manifest, encoding: "utf8" });
  assert.equal(read.status, 0, "PyYAML (python3-yaml) could not read the manifest: " + read.stderr);
  return JSON.parse(read.stdout);
}

function expectRefusal(result, emitter, quoted) {
  assert.equal(result.status, 2, result.stdout.toString() + result.stderr.toString());
  assert.equal(result.stdout.length, 0, "a refusal prints no job");
  const lines = result.stderr.toString("latin1").split("\n");
  assert.equal(lines.length, 2, "one line: " + lines.join("|"));
  assert.ok(lines[0].startsWith(`gloamer: --emit ${emitter}: `) && lines[0].includes(quoted), lines[0]);
}

for (const [index, hostile] of cases.entries()) {
  test(`--emit slurm and kubernetes with ${hostile.what} in the list's and the folder's names`, () => {
    const listName = hostile.relative ? join(hostile.name, String(index), ".txt") : join("list ", String(index), hostile.name, ".txt");
    const folderName = hostile.relative ? join(hostile.name, String(index)) : join("out ", String(index), hostile.name);
    const list = join(work, "/", listName), folder = join(work, "/", folderName);
    fs.writeFileSync(list, "nothing.wav\n");
    // A name from the working folder that begins with "-": the folder in --output=DIR, the list after "--".
    const [listArg, folderArgs] = hostile.relative ? [listName, [join("--output=", folderName)]] : [list, ["-o", folder]];
    const emit = (emitter, more) => runBytes([gloamer, "batch", ...folderArgs, "--emit", emitter, ...more, "--", listArg],
                                             {}, work);

    const slurm = emit("slurm", ["--speed", "1"]);
    if (hostile.slurm) {
      expectRefusal(slurm, "slurm", hostile.slurm);
    } else {
      assert.equal(slurm.status, 0, slurm.stderr.toString());
      const script = path.join(work, `job${index}.sh`);
      fs.writeFileSync(script, slurm.stdout);
      const parsed = spawnSync("bash", ["-n", script], { encoding: "utf8" });
      assert.equal(parsed.status, 0, parsed.stderr);
      // The task as an array task runs it: the real gloamer, which fails the list's one missing item.
      const task = spawnSync("bash", [script], { cwd: work, env: { ...process.env, SLURM_JOB_ID: "7" }, encoding: "utf8" });
      assert.equal(task.status, 1, task.stdout + task.stderr);
      assert.match(task.stdout, /failed\s+nothing\.mp4: .*no such file/);
      assert.ok(fs.existsSync(join(folder, "/.gloamer-batch")), "the task wrote elsewhere than the folder");
    }

    const kubernetes = emit("kubernetes", ["--image", "registry.example/gloamer:1"]);
    if (hostile.kubernetes) {
      expectRefusal(kubernetes, "kubernetes", hostile.kubernetes);
    } else {
      assert.equal(kubernetes.status, 0, kubernetes.stderr.toString());
      const manifest = kubernetes.stdout.toString("utf8");
      const read12 = YAML.parseAllDocuments(manifest, { strict: true, uniqueKeys: true }).map((doc) => doc.toJS());
      for (const [job] of [read12, yaml11(manifest)]) {
        new Job(job).validate();
        const command = job.spec.template.spec.containers[0].command;
        assert.equal(command.at(-1), text(list));
        assert.equal(command.at(-2), "--");
        assert.ok(command.includes("--output=" + text(folder)), command.join(" | "));
      }
    }
    assert.ok(!fs.existsSync(path.join(work, "PWNED")), "a name ran as a command");
  });
}

test("GPU options go with the emitter whose job carries them", () => {
  const list = path.join(work, "gpu.txt");
  fs.writeFileSync(list, "nothing.wav\n");
  const refusals = [
    [["--gpus", "1", "--emit", "slurm", "--speed", "1"], "--gpus asks Kubernetes"],
    [["--gpus-per-task", "1", "--emit", "kubernetes", "--image", "i"], "--gpus-per-task asks Slurm"],
    [["--gres", "gpu:1"], "--gres asks Slurm"],
  ];
  for (const [options, line] of refusals) {
    const result = runBytes([gloamer, "batch", list, "-o", path.join(work, "gpu"), ...options]);
    assert.equal(result.status, 2, result.stderr.toString());
    assert.ok(result.stderr.toString().startsWith("gloamer: " + line), result.stderr.toString());
  }
  const bad = runBytes([gloamer, "batch", list, "-o", path.join(work, "gpu"), "--emit", "slurm", "--gres", "gpu:1\nx"]);
  assert.equal(bad.status, 2);
  assert.match(bad.stderr.toString(), /is not a generic resource like gpu:1/);
});

test.after(() => fs.rmSync(work, { recursive: true, force: true }));
