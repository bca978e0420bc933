#!/usr/bin/env bash
# Validates the Kubernetes manifest in deploy/kubernetes/ against the
# Kubernetes API's schema with tests/kubernetes/validate.mjs, whose npm
# packages "npm ci" installs from tests/kubernetes/package-lock.json (as
# .ci/run does); then breaks copies of the manifest in the ways an edit could
# and requires the validator to reject each one, naming the fault.
# Usage: kubernetes_manifest_test.sh SOURCE-DIR SCRATCH-DIR
set -euo pipefail
source_dir=$1
validator_dir=$source_dir/tests/kubernetes
manifest=$source_dir/deploy/kubernetes/velmorjob-cronjob.yaml
# shellcheck source=tests/scratch.sh
source "$(dirname "$0")/scratch.sh"
# shellcheck source=tests/failures.sh
source "$(dirname "$0")/failures.sh"
work=$(new_scratch_folder "$2" kubernetes)
trap 'rm -rf "$work"' EXIT


if ! command -v node >/dev/null; then
  echo "FAILED: node is not installed (Debian package nodejs; npm installs the validator)"
  exit 1
fi
if ! (cd "$validator_dir" &&
  node --input-type=module -e 'await import("kubernetes-models/batch/v1/CronJob"); await import("yaml")') \
  >/dev/null 2>&1; then
  echo "FAILED: the validator's packages are not installed:" \
    "run npm ci in $validator_dir (Debian package npm), as .ci/run does"
  exit 1
fi
validate=(node "$validator_dir/validate.mjs")

if output=$("${validate[@]}" "$manifest" 2>&1); then
  printf '%s\n' "$output"
else
  fail "the manifest does not validate"
  printf '%s\n' "$output"
fi

# broken NAME SED-SCRIPT EXPECTED: a copy of the manifest changed by the
# script must be rejected with a line that holds EXPECTED.
broken() {
  local copy=$work/$1.yaml output status=0
  sed "$2" "$manifest" >"$copy"
  if cmp -s "$manifest" "$copy"; then
    fail "the edit of $1 changed nothing"
    return
  fi
  output=$("${validate[@]}" "$copy" 2>&1) || status=$?
  if [[ $status -eq 1 ]] && grep -F -- "$3" <<<"$output" | grep -q '^FAILED: '; then
    echo "ok: rejected $1"
  else
    fail "$1 was not rejected with \"$3\" (status $status)"
    printf '%s\n' "$output"
  fi
}

broken misspelt-field 's/concurrencyPolicy: Forbid/concurencyPolicy: Forbid/' \
  '/spec/concurencyPolicy: no such field'
broken misspelt-nested-field 's/claimName:/claimname:/' \
  'persistentVolumeClaim/claimname: no such field'
broken wrong-type 's/backoffLimit: 2/backoffLimit: "2"/' 'backoffLimit must be integer'
broken unknown-action 's/action: Ignore/action: Skip/' 'must be equal to one of the allowed values'
broken missing-field '/schedule:/d' 'must have required property schedule'
broken restart-on-failure 's/restartPolicy: Never/restartPolicy: OnFailure/' \
  'restartPolicy is not Never'
broken allow-concurrent 's/concurrencyPolicy: Forbid/concurrencyPolicy: Allow/' \
  'concurrencyPolicy is not Forbid'
broken other-container 's/containerName: velmorjob/containerName: indexer/' \
  'names container "indexer"'
broken no-disruption-rule 's/type: DisruptionTarget/type: ConfigIssue/' \
  'no Ignore rule for the DisruptionTarget condition'
broken config-elsewhere 's|--config=/etc/velmorjob/search.conf|--config=/srv/search/search.conf|' \
  '/srv/search/search.conf is not a key of a ConfigMap'
broken config-key 's|^  search.conf: [|]|  jobs.conf: \||' \
  '/etc/velmorjob/search.conf is not a key of a ConfigMap'
broken long-name 's/name: velmorjob-nightly/name: velmorjob-nightly-and-a-name-longer-than-cronjobs-take/' \
  'is not a DNS label of at most 52 characters'

exit $((failures > 0))
