// Validates Kubernetes manifests against the Kubernetes API's schema, with
// the models of the npm package kubernetes-models, and more strictly than the
// schema alone: a field that the schema does not know (a misspelt key, which
// the API server would drop or refuse) is an error too. Then checks what the
// schema cannot see in velmorjob's CronJob: the names it refers to and the
// choices its comments promise.
//
// Usage: node validate.mjs MANIFEST...
// Prints one line for each object and each problem; exits 1 when there is
// any problem.

import { readFileSync } from "node:fs";
import { parseAllDocuments } from "yaml";
import { ConfigMap } from "kubernetes-models/v1/ConfigMap";
import { CronJob } from "kubernetes-models/batch/v1/CronJob";

// The kinds that velmorjob's manifests hold.
const kModels = {
  "v1 ConfigMap": ConfigMap,
  "batch/v1 CronJob": CronJob,
};

// Wraps an object so that every field the validator reads is noted; the
// validator reads each field its schema knows, and every key of a map.
function Tracked(value, path, reads) {
  if (value === null || typeof value !== "object") return value;
  if (!reads.has(value)) reads.set(value, { path, keys: new Set() });
  const keys = reads.get(value).keys;
  return new Proxy(value, {
    get(target, key, receiver) {
      const field = Reflect.get(target, key, receiver);
      if (typeof key !== "string" || typeof field === "function") return field;
      keys.add(key);
      return Tracked(field, `${path}/${key}`, reads);
    },
    ownKeys(target) {
      for (const key of Reflect.ownKeys(target)) keys.add(key);
      return Reflect.ownKeys(target);
    },
  });
}

// The schema's errors and the unknown fields of one object.
function SchemaProblems(Model, object) {
  const problems = [];
  const reads = new Map();
  try {
    Tracked(new Model(object), "", reads).validate();
  } catch (error) {
    problems.push(`does not follow the schema: ${error.message}`);
  }
  for (const [value, { path, keys }] of reads) {
    for (const key of Object.keys(value)) {
      if (!keys.has(key)) problems.push(`${path}/${key}: no such field`);
    }
  }
  return problems;
}

// What the API server checks beyond the schema, and what the comments of
// the CronJob promise, given the ConfigMaps of the same file.
function CronJobProblems(cronJob, configMaps) {
  const problems = [];
  const expect = (condition, text) => {
    if (!condition) problems.push(text);
  };
  const name = cronJob.metadata?.name ?? "";
  expect(/^[a-z0-9]([-a-z0-9]*[a-z0-9])?$/.test(name) && name.length <= 52,
         `name "${name}" is not a DNS label of at most 52 characters`);
  const cron = cronJob.spec ?? {};
  expect(cron.concurrencyPolicy === "Forbid", "concurrencyPolicy is not Forbid");
  expect(Number.isInteger(cron.startingDeadlineSeconds), "no startingDeadlineSeconds");
  const job = cron.jobTemplate?.spec ?? {};
  expect(Number.isInteger(job.activeDeadlineSeconds), "no activeDeadlineSeconds");
  expect(Number.isInteger(job.backoffLimit), "no backoffLimit");
  const pod = job.template?.spec ?? {};
  expect(pod.restartPolicy === "Never", "restartPolicy is not Never, as podFailurePolicy needs");
  const containers = new Map((pod.containers ?? []).map((c) => [c.name, c]));
  const rules = job.podFailurePolicy?.rules ?? [];
  const failJob = rules.filter((rule) => rule.action === "FailJob");
  expect(failJob.length === 1, `${failJob.length} FailJob rules, not 1`);
  for (const rule of rules) {
    const codes = rule.onExitCodes;
    if (!codes) continue;
    // Without a name the rule applies to every container.
    expect(codes.containerName === undefined || containers.has(codes.containerName),
           `podFailurePolicy names container "${codes.containerName}", which the pod has not`);
    expect(!(codes.operator === "In" && codes.values.includes(0)),
           "podFailurePolicy matches exit code 0 with In");
  }
  expect(rules.some((rule) => rule.action === "Ignore" &&
                     (rule.onPodConditions ?? []).some((c) => c.type === "DisruptionTarget")),
         "no Ignore rule for the DisruptionTarget condition");
  const volumes = new Map((pod.volumes ?? []).map((v) => [v.name, v]));
  for (const container of containers.values()) {
    for (const mount of container.volumeMounts ?? []) {
      expect(volumes.has(mount.name), `volume "${mount.name}" is mounted but not defined`);
    }
    // The configuration file named by --config= comes from a ConfigMap of
    // this file, mounted at its directory.
    const config = (container.args ?? []).find((arg) => arg.startsWith("--config="));
    expect(config !== undefined, `container "${container.name}" has no --config=`);
    if (config === undefined) continue;
    const path = config.slice("--config=".length);
    const mount = (container.volumeMounts ?? []).find((m) => path.startsWith(`${m.mountPath}/`));
    const volume = mount && volumes.get(mount.name);
    const map = volume?.configMap && configMaps.get(volume.configMap.name);
    const key = mount && path.slice(mount.mountPath.length + 1);
    expect(map !== undefined && Object.hasOwn(map.data ?? {}, key),
           `${path} is not a key of a ConfigMap of this file mounted at its directory`);
  }
  return problems;
}

function Main(files) {
  let failed = false;
  const report = (where, problems) => {
    if (problems.length === 0) {
      console.log(`ok: ${where}`);
      return;
    }
    failed = true;
    for (const problem of problems) console.log(`FAILED: ${where}: ${problem}`);
  };
  for (const file of files) {
    const documents = parseAllDocuments(readFileSync(file, "utf8"));
    const objects = [];
    for (const document of documents) {
      if (document.errors.length > 0) {
        report(file, document.errors.map((error) => error.message));
        continue;
      }
      const object = document.toJS();
      if (object !== null) objects.push(object);
    }
    if (objects.length === 0) report(file, ["no object"]);
    const configMaps = new Map();
    for (const object of objects) {
      if (object.kind === "ConfigMap") configMaps.set(object.metadata?.name, object);
    }
    for (const object of objects) {
      const kind = `${object.apiVersion} ${object.kind}`;
      const where = `${file}: ${kind} ${object.metadata?.name}`;
      const Model = kModels[kind];
      if (Model === undefined) {
        report(where, ["not a kind this check knows"]);
        continue;
      }
      const problems = SchemaProblems(Model, object);
      if (object.kind === "CronJob") problems.push(...CronJobProblems(object, configMaps));
      report(where, problems);
    }
  }
  return failed ? 1 : 0;
}

if (process.argv.length < 3) {
  console.error("usage: node validate.mjs MANIFEST...");
  process.exit(2);
}
process.exit(Main(process.argv.slice(2)));
