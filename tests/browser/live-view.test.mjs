// The live view in a real browser: Debian's chromium, headless, driven by
// puppeteer-core against `geocom simulate --http`.
//
// Usage: node live-view.test.mjs GEOCOM SCREENSHOT.png
// Exit status 0 when every check passes, 1 otherwise.
import { execFile } from "node:child_process";
import { promisify } from "node:util";
import { checks, commandLine, keepScreenshot, launch, startGeocom, watchedPage } from "./browser.mjs";

const [geocom, screenshot] = commandLine("live-view.test.mjs", "GEOCOM", "SCREENSHOT.png");
const run = promisify(execFile);
const { check, exit } = checks();

async function call(address, ...command) {
  const { stdout } = await run(geocom, ["call", "--connect", address, "--json", ...command]);
  return JSON.parse(stdout);
}

// Milliseconds until the exchange table has a row the predicate accepts.
async function rowWithin(page, selector, timeout) {
  const started = Date.now();
  await page.waitForSelector(selector, { timeout });
  return Date.now() - started;
}

const started = await startGeocom(geocom,
  ["simulate", "--listen", "127.0.0.1:0", "--http", "127.0.0.1:0", "--seed", "1"],
  [/listening on (\S+)/, /live view on (\S+)/]);
const instrument = { child: started.child, tcp: started.addresses[0], url: started.addresses[1] };
const chromium = await launch("live-view");
try {
  const { page, consoleErrors } = await watchedPage(chromium.browser, 1280, 900);

  // Exchanges made before the page opens show at once, newest first.
  for (let i = 0; i < 12; ++i) await call(instrument.tcp, i % 2 ? "power" : "angles");
  await page.goto(instrument.url, { waitUntil: "load" });
  await page.waitForFunction(
    () => document.getElementById("connection").textContent === "live" &&
          document.querySelectorAll(".prism[data-id]").length > 0,
    { timeout: 5000 });
  check(true, "the page loads and its feed goes live");
  await page.waitForFunction(
    () => document.querySelectorAll("#exchanges tbody tr").length === 12,
    { timeout: 2000 }).catch(() => {});
  const earlier = await page.$$eval("#exchanges tbody tr",
                                    (rows) => rows.map((row) => Number(row.dataset.number)));
  check(earlier.length === 12 && earlier[0] === 12 && earlier[11] === 1,
        `the exchanges made before the page opened show at once, newest first (${earlier})`);

  // One spelling of each fault, the one the exchanges use.
  const kinds = await page.$$eval("#fault-rows input", (inputs) => inputs.map((input) => input.name));
  check(kinds.includes("wrong-sequence") && !kinds.some((kind) => kind.includes("_")),
        `the faults table spells the kinds as the exchanges do (${kinds})`);

  // A call made elsewhere shows, decoded, within a second.
  const callMade = call(instrument.tcp, "angles");
  const waited = await rowWithin(page, '#exchanges tr[data-name="angles"]', 1000);
  await callMade;
  const values = await page.$eval('#exchanges tr[data-name="angles"] .values',
                                  (cell) => cell.textContent);
  check(waited <= 1000 && /^hz=\d+\.\d{4}° v=\d+\.\d{4}°$/.test(values),
        `a call by geocom shows within 1 s with its angles in degrees (${waited} ms: ${values})`);
  const panel = await page.$eval("#hz", (cell) => cell.textContent);
  check(/^\d+\.\d{4}°$/.test(panel), `the panel shows angles in the same unit (${panel})`);

  // Turning speeds in degrees too; a wavelength keeps its digits.
  await call(instrument.tcp, "motor-velocity", "0.1", "0").catch(() => {});
  await call(instrument.tcp, "atmosphere");
  await rowWithin(page, '#exchanges tr[data-name="atmosphere"]', 1000);
  const speeds = await page.$eval('#exchanges tr[data-name="motor-velocity"] .arguments',
                                  (cell) => cell.textContent);
  const weather = await page.$eval('#exchanges tr[data-name="atmosphere"] .values',
                                   (cell) => cell.textContent);
  check(speeds === "hz_speed=5.7296°/s v_speed=0.0000°/s" &&
        weather.startsWith("dry_temperature=20.5 degC lambda=6.580e-7 m "),
        `speeds in degrees, a wavelength to its digits (${speeds}; ${weather})`);

  // A return code shows with its name, its meaning on hover; a call that
  // fails with one exits non-zero.
  await call(instrument.tcp, "simple-measurement").catch(() => {});
  await rowWithin(page, '#exchanges tr[data-name="simple-measurement"]', 1000);
  const code = await page.$eval('#exchanges tr[data-name="simple-measurement"] td:nth-child(5)',
                                (cell) => [cell.textContent, cell.title, cell.className]);
  check(code[0] === "8710 no-target" && code[1] === "no prism in the beam" &&
        code[2] === "code-bad",
        `a return code shows with its name and meaning (${code})`);
  const okCode = await page.$eval('#exchanges tr[data-name="angles"] td:nth-child(5)',
                                  (cell) => cell.textContent);
  check(okCode === "0 ok", `a successful call's code shows as 0 ok (${okCode})`);

  // Locked onto P1, the telescope follows it when it is dragged.
  await call(instrument.tcp, "set-atr-state", "1");
  await call(instrument.tcp, "set-lock-state", "1");
  const state = await (await fetch(`${instrument.url}api/state`)).json();
  const station = state.station;
  const p1 = state.prisms.find((prism) => prism.id === "P1");
  const dE = p1.easting - station.easting;
  const dN = p1.northing - station.northing;
  const dH = p1.height - station.height - station.instrument_height;
  const hz = (Math.atan2(dE, dN) - station.orientation + 2 * Math.PI) % (2 * Math.PI);
  const v = Math.atan2(Math.hypot(dE, dN), dH);
  await call(instrument.tcp, "position", String(hz), String(v), "0", "1");
  await call(instrument.tcp, "lock-in");
  const before = await call(instrument.tcp, "angles");
  // The plan is drawn anew with each state, so its place is read in one
  // step (a handle would be detached by the time it is asked).
  const [startX, startY] = await page.evaluate(() => {
    const box = document.querySelector('.prism[data-id="P1"] circle').getBoundingClientRect();
    return [box.x + box.width / 2, box.y + box.height / 2];
  });
  await page.mouse.move(startX, startY);
  await page.mouse.down();
  for (let step = 1; step <= 10; ++step) {
    await page.mouse.move(startX + 4 * step, startY + 2 * step);
    await new Promise((resolve) => setTimeout(resolve, 30));
  }
  await page.mouse.up();
  // The last move is sent on release; then the telescope turns after it.
  await page.waitForNetworkIdle({ idleTime: 150, timeout: 3000 });
  await page.waitForFunction(async (url, from) => {
    const now = await (await fetch(`${url}api/state`)).json();
    const p = now.prisms.find((candidate) => candidate.id === "P1");
    const s = now.station;
    const bearing = (Math.atan2(p.easting - s.easting, p.northing - s.northing) -
                     s.orientation + 2 * Math.PI) % (2 * Math.PI);
    return Math.abs(p.easting - from) > 1 && !now.telescope.moving &&
           Math.abs(now.telescope.hz - bearing) < 1e-6;
  }, { timeout: 5000, polling: 100 }, instrument.url, p1.easting).catch(async (error) => {
    const now = await (await fetch(`${instrument.url}api/state`)).json();
    throw new Error(`${error.message}; the state: ${JSON.stringify(now)}`);
  });
  const after = await call(instrument.tcp, "angles");
  const moved = await (await fetch(`${instrument.url}api/state`)).json();
  const p1Now = moved.prisms.find((prism) => prism.id === "P1");
  const hzNow = (Math.atan2(p1Now.easting - station.easting, p1Now.northing - station.northing) -
                 station.orientation + 2 * Math.PI) % (2 * Math.PI);
  check(Math.abs(after.values.hz - before.values.hz) > 0.01 &&
        Math.abs(after.values.hz - hzNow) < 1e-6 && moved.locked_prism === "P1",
        `dragging P1 turns the locked telescope after it (hz ${before.values.hz} -> ${after.values.hz}, prism at ${hzNow})`);

  // A fault rate set on the page shows in the next exchanges.
  await page.$eval('#fault-rows input[name="noise"]', (input) => { input.value = "1"; });
  await page.click("#set-faults");
  await page.waitForFunction(async (url) => {
    const now = await (await fetch(`${url}api/state`)).json();
    return now.fault_rates.noise === 1;
  }, { timeout: 2000, polling: 50 }, instrument.url);
  await call(instrument.tcp, "instrument-number");
  await rowWithin(page, '#exchanges tr[data-name="instrument-number"][data-fault="noise"] .fault', 1000);
  await page.waitForFunction(
    () => Number(document.querySelector('#fault-rows .applied[data-kind="noise"]')
                   .textContent) >= 1,
    { timeout: 1000 });
  check(true, "a noise rate set on the page marks the next exchange and its counter");

  // The faulty exchange is in sight without scrolling the page.
  const bottom = (selector) => page.$eval(selector, (row) => row.getBoundingClientRect().bottom);
  const newestFaulty = await bottom("#exchanges tr.faulty");
  check(newestFaulty <= 900, `the faulty exchange shows above the fold (bottom ${newestFaulty} px)`);
  const [badgeRight, tableRight] = await page.evaluate(() => [
    document.querySelector("#exchanges tr.faulty .fault").getBoundingClientRect().right,
    document.getElementById("traffic").getBoundingClientRect().right]);
  check(badgeRight <= tableRight,
        `the fault column is in sight without scrolling sideways (${badgeRight} of ${tableRight} px)`);
  await keepScreenshot(page, screenshot, false);

  // Once many clean exchanges follow it, "faults only" brings it back.
  await page.$eval('#fault-rows input[name="noise"]', (input) => { input.value = "0"; });
  await page.click("#set-faults");
  await page.waitForFunction(async (url) => {
    const now = await (await fetch(`${url}api/state`)).json();
    return now.fault_rates.noise === 0;
  }, { timeout: 2000, polling: 50 }, instrument.url);
  for (let i = 0; i < 30; ++i) await call(instrument.tcp, "angles");
  await page.waitForFunction(
    () => !document.querySelector("#exchanges tbody tr").classList.contains("faulty") &&
          document.querySelectorAll("#exchanges tbody tr").length >= 50,
    { timeout: 2000 });
  await page.click("#faults-only");
  const onlyFaults = await page.$$eval("#exchanges tbody tr",
    (rows) => rows.filter((row) => row.offsetParent !== null).map((row) => row.className));
  const shownFaulty = await bottom("#exchanges tr.faulty");
  check(onlyFaults.length >= 1 && onlyFaults.every((name) => name === "faulty") &&
        shownFaulty <= 900,
        `"faults only" shows the faulty exchanges alone, in sight (${onlyFaults.length} rows)`);
  await page.click("#faults-only");
  await call(instrument.tcp, "angles");

  check(consoleErrors.length === 0,
        `no console error${consoleErrors.length ? ": " + consoleErrors.join("; ") : ""}`);
} catch (error) {
  check(false, error.stack ?? String(error));
} finally {
  await chromium.close();
  instrument.child.kill("SIGTERM");
}
exit();
