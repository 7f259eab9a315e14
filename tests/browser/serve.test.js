// End-to-end: kestrix serve on the simulated machine, driven in Chromium the way a person would.
// Usage: node serve.test.js KESTRIX CHROMIUM WORKDIR
"use strict";

const assert = require("node:assert/strict");
const { spawn } = require("node:child_process");
const fs = require("node:fs");
const net = require("node:net");
const path = require("node:path");
const { chromium } = require("playwright-core");

const [kestrix, browserPath, workDir] = process.argv.slice(2);
const LIVE = 9629;
const COPIES_X = 9641;
const COPIES_Y = 9639;
const SHEET = 9633;
const START = 9642;
const CLOSE = 9655;
const ACQUIRE_MESSAGE = 9656;
const GROW_RIGHT = 9651;  // the acquire dialog's right arrow
const CALIBRATE = 9667;
const SCALE = 9659;

function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.once("error", reject);
    server.listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// The demo world on a brisk cutter: the machine is real time, and the test waits for every move.
const FAST_CUTTER = { travelSpeed: 60000, cutSpeed: 30000, acceleration: 240000 };
function fastWorld() {
  const file = path.join(workDir, "fast-world.json");
  fs.writeFileSync(file, JSON.stringify({ cutter: FAST_CUTTER }));
  return file;
}

// Starts kestrix serve and resolves with the address it prints.
function serve(listen, out) {
  const child = spawn(kestrix, ["serve", "--listen", listen, "--out", out, "--world", fastWorld()], {
    stdio: ["ignore", "pipe", "pipe"],
  });
  child.stderr.on("data", (d) => process.stderr.write(d));
  const address = new Promise((resolve, reject) => {
    let text = "";
    child.stdout.on("data", (d) => {
      text += d;
      const m = /Open (\S+) in a browser/.exec(text);
      if (m) resolve(m[1]);
    });
    child.once("exit", (code) => reject(new Error("kestrix serve ended with " + code + ": " + text)));
  });
  return { child, address };
}

function stop(child) {
  return new Promise((resolve) => {
    if (child.exitCode !== null) return resolve(child.exitCode);
    child.once("exit", (code) => resolve(code));
    child.kill("SIGTERM");
  });
}

// The page point over the centre (or an offset from it) of a control of the window titled so.
async function controlPoint(page, windowId, controlId, dx = 0, dy = 0) {
  return page.evaluate(
    ([id, cid, ox, oy]) => {
      const w = window.kestrix.windows.get(id);
      const c = w.controls.find((x) => x.id === cid);
      const img = document.querySelector("#w" + id + " canvas");
      const r = img.getBoundingClientRect();
      const sx = r.width / img.width;
      const sy = r.height / img.height;
      return {
        x: r.left + ((c.rect[0] + c.rect[2]) / 2 + ox) * sx,
        y: r.top + ((c.rect[1] + c.rect[3]) / 2 + oy) * sy,
      };
    },
    [windowId, controlId, dx, dy]
  );
}

async function click(page, windowId, controlId, options = {}) {
  const p = await controlPoint(page, windowId, controlId, options.dx || 0, options.dy || 0);
  await page.mouse.click(p.x, p.y, { modifiers: options.modifiers || [] });
}

async function typeInto(page, windowId, controlId, text) {
  await click(page, windowId, controlId);
  const input = page.locator(`#w${windowId} input[data-control="${controlId}"]`);
  await input.fill(text);
  await input.press("Enter");
  await page.waitForFunction(
    ([id, cid, t]) => window.kestrix.windows.get(id).controls.find((c) => c.id === cid).text === t,
    [windowId, controlId, text]
  );
}

const control = (page, windowId, controlId) =>
  page.evaluate(
    ([id, cid]) => window.kestrix.windows.get(id).controls.find((c) => c.id === cid),
    [windowId, controlId]
  );
const machine = (page) => page.evaluate(() => window.kestrix.machine);

// Waits until the head has come to rest: two readings a fifth of a second apart agree (the live
// view takes no click while the head moves).
async function headAtRest(page) {
  let last = null;
  for (;;) {
    const head = (await machine(page)).head;
    if (last && head[0] === last[0] && head[1] === last[1]) return head;
    last = head;
    await page.waitForTimeout(200);
  }
}

// Waits for the one window the page shows whose controls include controlId.
async function windowWith(page, controlId) {
  const handle = await page.waitForFunction(
    (cid) => {
      for (const [id, w] of window.kestrix.windows) {
        const img = document.querySelector("#w" + id + " canvas");
        if (w.controls.some((c) => c.id === cid) && img && img.width > 0) return id;
      }
      return null;
    },
    controlId,
    { timeout: 20000 }
  );
  return handle.jsonValue();
}

async function answerBox(page, textPart, button) {
  const box = page.locator("#boxes .box", { hasText: textPart });
  await box.waitFor({ timeout: 120000 });
  await box.getByRole("button", { name: button, exact: true }).click();
  await box.waitFor({ state: "detached" });
}

const tests = [];
const test = (name, fn) => tests.push({ name, fn });

test("the run dialog: a click moves the head, counts are typed, Start cuts a copy", async (page) => {
  await page.getByRole("button", { name: "Camera registration" }).click();
  const run = await windowWith(page, START);

  // A plain click right of the crosshair moves the head right; one as far left brings it back.
  await page.waitForFunction(() => window.kestrix.machine !== undefined);
  const before = await headAtRest(page);
  await click(page, run, LIVE, { dx: 40 });
  await page.waitForFunction((x) => window.kestrix.machine.head[0] > x + 20, before[0]);
  await headAtRest(page);
  await click(page, run, LIVE, { dx: -40 });
  await page.waitForFunction((x) => Math.abs(window.kestrix.machine.head[0] - x) <= 2, before[0],
                             { timeout: 20000 });

  await click(page, run, SHEET);
  await page.waitForFunction(
    ([id, cid]) => window.kestrix.windows.get(id).controls.find((c) => c.id === cid).check === 1,
    [run, SHEET]
  );
  // One copy: the run is real time, and one shows every step of it.
  await typeInto(page, run, COPIES_X, "1");
  await typeInto(page, run, COPIES_Y, "1");
  const strokes = (await machine(page)).cutStrokes;
  await click(page, run, START);
  const runStarted = Date.now();
  // The knife goes down while the run goes on; the run ends with the head back at the origin.
  await page.waitForFunction((n) => window.kestrix.machine.cutStrokes > n, strokes, { timeout: 120000 });
  await page.waitForFunction(
    ([id, cid]) => window.kestrix.windows.get(id).controls.find((c) => c.id === cid).enabled,
    [run, START],
    { timeout: 180000, polling: 250 }
  );
  await page.waitForFunction(() => {
    const h = window.kestrix.machine.head;
    return h[0] === 0 && h[1] === 0;
  }, null, { timeout: 60000 });
  const after = await machine(page);
  console.log(`     one copy registered and cut in ${((Date.now() - runStarted) / 1000).toFixed(1)} s`);
  assert.ok(after.cutStrokes > strokes + 10, "the copy's paths were cut: " + JSON.stringify(after));

  // A window in use keeps its world.
  await page.getByRole("button", { name: "New simulated world" }).click();
  await page.locator("#notice.error", { hasText: "close every window" }).waitFor();

  // At the origin there is no mark to find: the run asks, and Cancel ends it where the head stands.
  await click(page, run, START);
  await answerBox(page, "Unable to locate image", "Cancel");
  await page.waitForFunction(
    ([id, cid]) => window.kestrix.windows.get(id).controls.find((c) => c.id === cid).enabled,
    [run, START],
    { timeout: 60000 }
  );
  assert.equal((await machine(page)).cutStrokes, after.cutStrokes, "nothing more was cut");

  await click(page, run, CLOSE);
  await page.waitForFunction((id) => !window.kestrix.windows.has(id), run, { timeout: 20000 });
});

test("a second page watches and cannot act", async (page, context, address) => {
  const other = await context.newPage();
  await other.goto(address, { waitUntil: "domcontentloaded" });
  await other.waitForFunction(() => document.getElementById("role").textContent.startsWith("Watching"));
  await other.getByRole("button", { name: "Camera registration" }).click();
  await other.locator("#notice.error", { hasText: "only watches" }).waitFor();
  await other.close();
  // The first page still controls.
  await page.waitForFunction(() => window.kestrix.controls === true);
});

test("the setup sheet opens, shows its live view and closes with Cancel", async (page) => {
  await page.getByRole("button", { name: "Camera setup" }).click();
  const setup = await windowWith(page, 9667);
  await page.waitForFunction(
    (id) => Number(document.querySelector("#w" + id + " canvas").dataset.frames) > 2, setup);
  await click(page, setup, 2 /* IDCANCEL */);
  await page.waitForFunction((id) => !window.kestrix.windows.has(id), setup, { timeout: 20000 });
});

test("the acquire dialog's arrow drives the head and grows the grid", async (page) => {
  await page.getByRole("button", { name: "Acquire reference" }).click();
  const acquire = await windowWith(page, GROW_RIGHT);
  const before = await headAtRest(page);
  await click(page, acquire, GROW_RIGHT);
  // The capture drives the head to the new tile and parks it where it was.
  await page.waitForFunction((h) => {
    const now = window.kestrix.machine.head;
    return now[0] !== h[0] || now[1] !== h[1];
  }, before, { timeout: 60000 });
  await page.waitForFunction(
    ([id, cid]) => /1 X 2/.test(window.kestrix.windows.get(id).controls.find((c) => c.id === cid).text),
    [acquire, ACQUIRE_MESSAGE],
    { timeout: 60000 }
  );
  const parked = await headAtRest(page);
  assert.deepEqual(parked, before, "the head is parked where the grid began");
  await click(page, acquire, 2 /* IDCANCEL */);
  await page.waitForFunction((id) => !window.kestrix.windows.has(id), acquire, { timeout: 20000 });
});

test("the job view shows the job; a bad upload is refused with its error, a good one opens", async (page) => {
  await page.locator("#jobView:not([hidden]) #job").waitFor();
  const views = await page.evaluate(() => window.kestrix.jobViews);
  await page.setInputFiles("#upload", { name: "broken.json", mimeType: "application/json",
                                        buffer: Buffer.from('{"format": "kestrix-document", "version"') });
  await page.locator("#notice.error", { hasText: "broken.json" }).waitFor();
  const download = await page.request.get(new URL("document.json", page.url()).href);
  assert.equal(download.status(), 200);
  const text = await download.text();
  assert.match(text, /"objects"/);
  await page.setInputFiles("#upload", { name: "again.json", mimeType: "application/json",
                                        buffer: Buffer.from(text) });
  await page.locator("#notice", { hasText: "Opened again.json" }).waitFor();
  await page.waitForFunction((n) => window.kestrix.jobViews > n, views);
});

test("a new simulated world of 1 x 1 copies replaces the bed", async (page) => {
  await page.fill("#columns", "1");
  await page.fill("#rows", "1");
  await page.getByRole("button", { name: "New simulated world" }).click();
  await page.locator("#notice", { hasText: "1 x 1 copies" }).waitFor();
  await page.fill("#worldFile", "../outside.json");
  await page.getByRole("button", { name: "New simulated world" }).click();
  await page.locator("#notice.error", { hasText: "job folder" }).waitFor();
  await page.fill("#worldFile", "");
});

test("the setup sheet calibrates from the page and OK stores the result", async (page) => {
  // A technician lays plain material where the head stands and calibrates there: a world of one
  // copy whose calibration spot is where the head is brought at start.
  const head = await headAtRest(page);
  fs.writeFileSync(path.join(workDir, "job", "calibrate.json"), JSON.stringify({
    cutter: FAST_CUTTER,
    copies: { columns: 1, rows: 1 },
    setup: { startX: head[0], startY: head[1], material: true },
  }));
  await page.fill("#worldFile", "calibrate.json");
  await page.getByRole("button", { name: "New simulated world" }).click();
  await page.locator("#notice", { hasText: "New world: calibrate.json" }).waitFor();
  await page.fill("#worldFile", "");
  assert.deepEqual(await headAtRest(page), head, "the same placement: the head stands there again");

  await page.getByRole("button", { name: "Camera setup" }).click();
  const setup = await windowWith(page, CALIBRATE);
  const scaleBefore = (await control(page, setup, SCALE)).text;
  const strokes = (await machine(page)).cutStrokes;
  await click(page, setup, CALIBRATE);
  await page.waitForFunction(
    ([id, cid]) => !window.kestrix.windows.get(id).controls.find((c) => c.id === cid).enabled,
    [setup, CALIBRATE]);
  await page.waitForFunction(
    ([id, cid]) => window.kestrix.windows.get(id).controls.find((c) => c.id === cid).enabled,
    [setup, CALIBRATE],
    { timeout: 180000, polling: 250 });
  assert.equal(await page.locator("#boxes .box").count(), 0, "no failure message");
  assert.ok((await machine(page)).cutStrokes > strokes, "the square was cut");
  const scale = (await control(page, setup, SCALE)).text;
  console.log(`     calibrated: Scale ${scale} (stored before: ${scaleBefore})`);
  assert.notEqual(scale, scaleBefore, "a measured scale is shown, not the stored one");
  assert.ok(Math.abs(Number(scale) - 1.6) < 0.1, "the camera's scale is measured: " + scale);
  await click(page, setup, 1 /* IDOK */);
  await page.waitForFunction((id) => !window.kestrix.windows.has(id), setup, { timeout: 20000 });
  const stored = fs.readFileSync(path.join(workDir, "job", "config", "settings.ini"), "utf8");
  const m = /^Scale=(.*)$/m.exec(stored);
  // The setting keeps two decimals.
  assert.ok(m && Math.abs(Number(m[1]) - Number(scale)) < 0.006, "OK stored the scale: " + stored);
});

test("a document outside the job folder is refused by name", async (page) => {
  await page.fill("#file", "../escape.json");
  await page.getByRole("button", { name: "Save" }).click();
  await page.locator("#notice.error", { hasText: "job folder" }).waitFor();
  await page.fill("#file", "job.json");
  await page.getByRole("button", { name: "Save" }).click();
  await page.locator("#notice", { hasText: "Saved job.json" }).waitFor();
});

async function main() {
  const browser = await chromium.launch({ executablePath: browserPath, args: ["--no-sandbox"] });
  const servers = [];
  let failed = 0;
  try {
    // On an address other than 127.0.0.1 the token printed at start is asked for.
    const port = await freePort();
    const server = serve("127.0.0.2:" + port, path.join(workDir, "job"));
    servers.push(server.child);
    const address = await server.address;
    assert.match(address, /\?token=[0-9a-f]{32}$/);
    const bare = address.replace(/\?token=.*$/, "");
    const refused = await fetch(bare);
    assert.equal(refused.status, 403, "a request without the token is refused");
    assert.equal((await fetch(bare + "?token=0123")).status, 403, "a wrong token is refused");
    assert.equal((await fetch(address)).status, 200);

    const context = await browser.newContext({ viewport: { width: 1500, height: 1000 } });
    const page = await context.newPage();
    page.on("pageerror", (e) => {
      console.log("page error: " + e.message);
      failed++;
    });
    // A page without the token gets no WebSocket.
    const stranger = await context.newPage();
    await stranger.goto(bare);
    assert.equal(await stranger.content().then((t) => t.includes("token")), true);
    await stranger.close();

    await page.goto(address);
    await page.waitForFunction(() => window.kestrix.controls === true);
    for (const t of tests) {
      const started = Date.now();
      try {
        await t.fn(page, context, address);
        console.log(`ok   ${t.name} (${((Date.now() - started) / 1000).toFixed(1)} s)`);
      } catch (e) {
        failed++;
        console.log(`FAIL ${t.name}\n${e.stack}`);
        await page.screenshot({ path: path.join(workDir, "failed.png") }).catch(() => {});
      }
    }
  } finally {
    await browser.close();
    for (const child of servers) {
      const code = await stop(child);
      if (code !== 0) {
        failed++;
        console.log("kestrix serve ended with status " + code);
      }
    }
  }
  process.exit(failed ? 1 : 0);
}

main().catch((e) => {
  console.log(e.stack);
  process.exit(1);
});
