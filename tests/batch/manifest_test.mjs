// The Indexed Job of gloamer batch --emit kubernetes: valid against the batch/v1 schema (offline), no field the
// API does not have, the settings an Indexed Job with per-index retries needs, and a task run as its pod runs it.
import { test } from "node:test";
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import { fileURLToPath } from "node:url";
import YAML from "yaml";
import { Job } from "kubernetes-models/batch/v1/Job";

const here = path.dirname(fileURLToPath(import.meta.url));
const gloamer = process.env.GLOAMER_HOST;
const work = fs.mkdtempSync(path.join(process.env.GLOAMER_WORK ?? "/tmp", "gloamer-manifest-"));

// The field names of an API object, as the models' type declarations list them.
function fieldsOf(model) {
  const file = model.startsWith("meta/")
    ? path.join(here, "node_modules/@kubernetes-models/apimachinery/apis", model + ".d.ts")
    : path.join(here, "node_modules/kubernetes-models", model + ".d.ts");
  return new Set([...fs.readFileSync(file, "utf8").matchAll(/^\s*"([A-Za-z]+)"\??:/gm)].map((m) => m[1]));
}

function run(args, env = {}) {
  return spawnSync(gloamer, args, { encoding: "utf8", env: { ...process.env, ...env } });
}

const music = path.join(work, "music");
fs.mkdirSync(music);
for (const [name, tone] of [["a", 220], ["b", 330]])
  spawnSync("ffmpeg", ["-v", "error", "-f", "lavfi", "-i", `sine=frequency=${tone}:duration=1`, path.join(music, name + ".wav")]);
fs.writeFileSync(path.join(music, "list.txt"), "a.wav\nmissing.wav\nb.wav\n");
const list = path.join(music, "list.txt");
const out = path.join(work, "out");
let emittedJob;

// The list (the input, last, after "--") and the output folder (--output=DIR) of a task's command.
function taskPaths(command) {
  assert.equal(command.indexOf("--"), command.length - 2, command.join(" "));
  const output = command.filter((word) => word.startsWith("--output="));
  assert.equal(output.length, 1, command.join(" "));
  return { list: command.at(-1), output: output[0].slice("--output=".length) };
}

// Valid against the batch/v1 schema, with no field the API lacks.
function checkJob(job) {
  new Job(job).validate();
  const spec = job.spec, pod = spec.template.spec;
  const objects = [[job, "batch/v1/Job"], [job.metadata, "meta/v1/ObjectMeta"], [spec, "batch/v1/JobSpec"],
                   [spec.template, "v1/PodTemplateSpec"], [pod, "v1/PodSpec"]];
  for (const container of pod.containers) {
    objects.push([container, "v1/Container"], [container.resources, "v1/ResourceRequirements"]);
    for (const variable of container.env ?? []) objects.push([variable, "v1/EnvVar"]);
    for (const mount of container.volumeMounts ?? []) objects.push([mount, "v1/VolumeMount"]);
  }
  for (const volume of pod.volumes ?? [])
    objects.push([volume, "v1/Volume"], [volume.persistentVolumeClaim, "v1/PersistentVolumeClaimVolumeSource"]);
  for (const [object, model] of objects) {
    const known = fieldsOf(model);
    for (const field of Object.keys(object)) assert.ok(known.has(field), `${model} has no field '${field}'`);
  }
}

test("the emitted Indexed Job is a valid batch/v1 Job with nothing the API lacks", () => {
  const emitted = run(["batch", list, "-o", out, "--size", "160x120", "--emit", "kubernetes", "--shards", "2",
                       "--image", "registry.example/gloamer:1", "--throttle", "1"]);
  assert.equal(emitted.status, 0, emitted.stderr);
  const job = YAML.parse(emitted.stdout, { strict: true, uniqueKeys: true });
  checkJob(job);
  const spec = job.spec, pod = spec.template.spec;
  assert.equal(spec.completionMode, "Indexed");
  assert.equal(spec.completions, 2);
  assert.equal(spec.parallelism, 1);
  assert.equal(pod.restartPolicy, "Never", "per-index retries need restartPolicy Never");
  const [container] = pod.containers;
  const mount = container.volumeMounts[0];
  assert.ok(pod.volumes.some((volume) => volume.name === mount.name), "the mount names no volume");
  const { list: listArg, output: outArg } = taskPaths(container.command);
  assert.equal(listArg, list);
  assert.equal(outArg, out);
  for (const inside of [listArg, outArg]) assert.ok(inside.startsWith(mount.mountPath + "/"), `${inside} is not on the volume`);
  assert.equal(container.resources.limits, undefined, "a job without --gpus asks for none");
  emittedJob = job;
});

test("a task runs the share its JOB_COMPLETION_INDEX names", () => {
  const command = emittedJob.spec.template.spec.containers[0].command.slice(1);
  const second = run(command, { JOB_COMPLETION_INDEX: "1" });
  assert.equal(second.status, 1, "a missing file must fail its task");
  assert.match(second.stdout, /failed\s+missing\.mp4: .*no such file/);
  assert.ok(!fs.existsSync(path.join(out, "a.mp4")), "index 1 rendered an item of index 0");
  const first = run(command, { JOB_COMPLETION_INDEX: "0" });
  assert.equal(first.status, 0, first.stdout + first.stderr);
  for (const name of ["a.mp4", "b.mp4"]) assert.ok(fs.existsSync(path.join(out, name)), name);
  assert.equal(run(command, { JOB_COMPLETION_INDEX: "2" }).status, 2, "an index past the job's count is refused");
});

test("with --parts a second Job, told apart by its label, joins what the indexes rendered", () => {
  const set = path.join(music, "set.txt");
  spawnSync("ffmpeg", ["-v", "error", "-f", "lavfi", "-i", "sine=frequency=440:duration=13", path.join(music, "set.wav")]);
  fs.writeFileSync(set, "set.wav\n");
  const emitted = run(["batch", set, "-o", out, "--size", "160x120", "--fps", "10", "--parts", "3", "--emit", "kubernetes",
                       "--image", "registry.example/gloamer:1"]);
  assert.equal(emitted.status, 0, emitted.stderr);
  const [render, join, ...rest] = YAML.parseAllDocuments(emitted.stdout).map((doc) => doc.toJS());
  assert.equal(rest.length, 0);
  for (const job of [render, join]) checkJob(job);
  assert.notEqual(render.metadata.labels["gloamer-step"], join.metadata.labels["gloamer-step"]);
  assert.equal(join.spec.completionMode, undefined, "the join is one pod, not an index");
  assert.equal(join.spec.completions, 1);
  const renderCommand = render.spec.template.spec.containers[0].command;
  const joinCommand = join.spec.template.spec.containers[0].command;
  assert.ok(renderCommand.includes("--parts") && !renderCommand.includes("--join-only"));
  assert.ok(joinCommand.includes("--join-only") && !joinCommand.includes("--shards"), joinCommand.join(" "));
  assert.deepEqual(joinCommand.slice(joinCommand.indexOf("--size")), renderCommand.slice(renderCommand.indexOf("--size")));

  // The pods as they run: the join before the last index waits and makes nothing; after it, the video.
  for (const index of ["0", "1"]) assert.equal(run(renderCommand.slice(1), { JOB_COMPLETION_INDEX: index }).status, 0);
  assert.equal(run(joinCommand.slice(1)).status, 1, "a join with a part missing must fail");
  assert.ok(!fs.existsSync(path.join(out, "set.mp4")));
  assert.equal(run(renderCommand.slice(1), { JOB_COMPLETION_INDEX: "2" }).status, 0);
  const joined = run(joinCommand.slice(1));
  assert.equal(joined.status, 0, joined.stdout + joined.stderr);
  assert.ok(fs.existsSync(path.join(out, "set.mp4")) && fs.readdirSync(path.join(out, ".gloamer-batch/parts")).length === 0);
});

test("with --gpus each render pod asks for its GPUs and the driver's graphics; the join asks for none", () => {
  const set = path.join(music, "set.txt");
  fs.writeFileSync(set, "set.wav\n");
  const emitted = run(["batch", set, "-o", out, "--size", "160x120", "--parts", "3", "--emit", "kubernetes",
                       "--image", "registry.example/gloamer:1", "--gpus", "2"]);
  assert.equal(emitted.status, 0, emitted.stderr);
  const [render, join] = YAML.parseAllDocuments(emitted.stdout).map((doc) => doc.toJS());
  for (const job of [render, join]) checkJob(job);
  const [drawing] = render.spec.template.spec.containers;
  assert.deepEqual(drawing.resources.limits, { "nvidia.com/gpu": "2" });
  const capabilities = drawing.env.find((variable) => variable.name === "NVIDIA_DRIVER_CAPABILITIES");
  assert.ok(capabilities?.value.split(",").includes("graphics"), "EGL needs the driver's graphics capability");
  assert.ok(!drawing.env.some((variable) => variable.name === "NVIDIA_VISIBLE_DEVICES"), "the device plug-in sets it");
  const [joining] = join.spec.template.spec.containers;
  assert.equal(joining.resources.limits, undefined);
  assert.ok(!joining.env.some((variable) => variable.name.startsWith("NVIDIA_")));
});

test.after(() => fs.rmSync(work, { recursive: true, force: true }));
