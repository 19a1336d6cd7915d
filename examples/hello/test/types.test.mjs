// The TypeScript declarations of wrapper-host.js: they describe what the module exports, and a
// typed usage file compiles with the pinned compiler while every misuse it marks is refused.
// The compiler is installed in tools/typescript by ./dev setup (npm ci).
import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { existsSync, readFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { test } from "node:test";
import { fileURLToPath } from "node:url";

import * as moduleExports from "../www/wrapper-host.js";

const root = join(dirname(fileURLToPath(import.meta.url)), "../../..");
const declarations = readFileSync(join(root, "examples/hello/www/wrapper-host.d.ts"), "utf8");
const usage = readFileSync(join(root, "examples/hello/test/types/usage.ts"), "utf8");

test("the declarations name every export of the module, with its values", () => {
  const declared = [...declarations.matchAll(/^export declare (?:const|class|function) (\w+)/gm)]
    .map((match) => match[1]).sort();
  assert.deepEqual(declared, Object.keys(moduleExports).sort());
  const tuple = declarations.match(/FOLDER_NAMES: readonly \[([^\]]*)\]/);
  assert.ok(tuple, "FOLDER_NAMES is declared as a tuple");
  assert.deepEqual([...tuple[1].matchAll(/"(\w+)"/g)].map((match) => match[1]),
    [...moduleExports.FOLDER_NAMES]);
  const limit = declarations.match(/PENDING_MESSAGE_LIMIT: (\d+);/);
  assert.equal(Number(limit?.[1]), moduleExports.PENDING_MESSAGE_LIMIT);
});

test("typed use compiles and marked misuse is refused (tsc --noEmit)", () => {
  const tsc = join(root, "tools/typescript/node_modules/typescript/bin/tsc");
  assert.ok(existsSync(tsc), `no TypeScript compiler at ${tsc}: run ./dev setup`);
  const expected = usage.match(/@ts-expect-error/g)?.length ?? 0;
  assert.ok(expected >= 15, `only ${expected} misuses are checked`);
  const run = spawnSync(process.execPath, [tsc, "-p", join(root, "tools/typescript/tsconfig.json")],
    { encoding: "utf8", timeout: 120000 });
  // An unused @ts-expect-error is itself an error (TS2578), so a misuse that compiles fails here.
  assert.equal(run.status, 0, run.stdout + run.stderr);
  assert.equal(run.stdout.trim(), "");
});
