// The live view of a virtual instrument given a job, in a real browser:
// `geocom simulate --http --job` follows the store `geocom monitor` writes
// while it measures that instrument, and the page draws each target's
// series as the rounds go, after saying that the store is not there yet.
//
// Usage: node live-view-job.test.mjs GEOCOM SCREENSHOT.png
// Exit status 0 when every check passes, 1 otherwise.
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { checkSelfContained, checks, commandLine, keepScreenshot, launch, startGeocom,
         watchedPage } from "./browser.mjs";
import { station, targets, writeCreepScene } from "./creep.mjs";

const [geocom, screenshot] = commandLine("live-view-job.test.mjs", "GEOCOM", "SCREENSHOT.png");
const { check, exit } = checks();

const work = mkdtempSync(join(tmpdir(), "live-view-job-test-"));
writeCreepScene(work);
const job = (instrument) => JSON.stringify({
  instrument, station, faces: 1, targets, store: join(work, "creep.sqlite"),
  interval: 0.3,
  limits: [{ targets: ["MOVING"], component: "north", warning: "3 mm",
             alarm: "9 mm", consecutive: 2 }],
});
// The simulator reads the job for its store and limits; the monitor's copy
// names the simulator's address, known once it runs.
writeFileSync(join(work, "creep.json"), job("127.0.0.1:1"));
const simulator = await startGeocom(geocom,
  ["simulate", "--listen", "127.0.0.1:0", "--scene", join(work, "scene.json"),
   "--http", "127.0.0.1:0", "--job", join(work, "creep.json")],
  [/listening on (\S+)/, /live view on (\S+)/]);
const [tcp, url] = simulator.addresses;
let monitor = null;
const chromium = await launch("live-view-job");
try {
  const watched = await watchedPage(chromium.browser, 1280, 1500);
  const { page } = watched;
  await page.goto(url, { waitUntil: "load" });

  // Before the monitor runs, the page says why there is nothing to show.
  await page.waitForFunction(
    () => /Waiting for the store: .*creep\.sqlite/.test(
      document.getElementById("store-status").textContent),
    { timeout: 30000 });
  const before = await page.evaluate(() => ({
    shown: !document.getElementById("job-view").hidden,
    name: document.querySelector(".job-name").textContent,
    rows: [...document.querySelectorAll("#last-values tbody tr")].map((row) => row.dataset.target),
  }));
  check(before.shown, "the job's sections show before its store exists");
  check(before.name === "creep", `the job's name heads them (${before.name})`);
  check(before.rows.join() === "MOVING,STILL", `a row per target (${before.rows})`);

  writeFileSync(join(work, "monitor.json"), job(tcp));
  monitor = spawn(geocom, ["monitor", join(work, "monitor.json")],
                  { stdio: ["ignore", "ignore", "inherit"] });

  await page.waitForFunction(
    () => document.querySelectorAll("#series figure svg.series").length === 2,
    { timeout: 40000 });
  const roundShown = () => page.$eval('#last-values tr[data-target="STILL"]',
    (row) => Number(row.cells[2].textContent));
  const first = await roundShown();
  await page.waitForFunction(
    (round) => Number(document.querySelector('#last-values tr[data-target="STILL"]')
                        .cells[2].textContent) > round + 2,
    { timeout: 40000 }, first);
  check(await roundShown() > first + 2,
        `the rows follow the rounds as the monitor measures them (from round ${first})`);
  await page.waitForFunction(
    () => [...document.querySelectorAll("#events td")].some((cell) => cell.textContent === "warning"),
    { timeout: 40000 });

  const shown = await page.evaluate(() => ({
    status: document.getElementById("store-status").hidden,
    levels: [...document.querySelectorAll("#last-values tbody tr")].map((row) => row.cells[8].textContent),
    points: [...document.querySelectorAll('figure[data-target="MOVING"] polyline')].map(
      (line) => line.getAttribute("points").trim().split(/\s+/).length),
    round: Number(document.querySelector('#last-values tr[data-target="MOVING"]').cells[2].textContent),
    limits: document.querySelectorAll('figure[data-target="MOVING"] line[stroke-dasharray="6 4"]').length,
    width: document.querySelector("svg.series").getBoundingClientRect().width,
    plan: [...document.querySelectorAll("#plan .prism text")].map((label) => label.textContent),
    clipped: [...document.querySelectorAll("#plan .prism text")].filter((label) => {
      const box = label.getBoundingClientRect();
      const plan = document.getElementById("plan").getBoundingClientRect();
      return box.left < plan.left || box.right > plan.right ||
             box.top < plan.top || box.bottom > plan.bottom;
    }).map((label) => label.textContent),
  }));
  check(shown.status, "the store's notice is gone once it is read");
  check(shown.levels[0] !== "clear" && shown.levels[1] === "clear",
        `the levels reached (${shown.levels})`);
  check(shown.points.length === 3 && shown.points.every((n) => n >= shown.round - 1),
        `dE, dN and dH drawn, a point per round (${shown.points}, round ${shown.round})`);
  check(shown.limits === 4, `the warning and the alarm dashed above and below zero (${shown.limits})`);
  check(shown.width > 900, `the series spans the page below the instrument (${shown.width} px)`);
  check(shown.plan.includes("MOVING") && shown.plan.includes("STILL"),
        `the instrument's plan still shows its prisms (${shown.plan})`);
  check(shown.clipped.length === 0,
        `every prism's name within the plan, MOVING's at its right edge too (${shown.clipped})`);

  checkSelfContained(check, new URL(url).origin, watched);
  await keepScreenshot(page, screenshot);
  check(true, `screenshot kept in ${screenshot}`);
} catch (error) {
  check(false, error.stack ?? String(error));
} finally {
  await chromium.close();
  monitor?.kill("SIGINT");
  simulator.child.kill("SIGTERM");
  rmSync(work, { recursive: true, force: true });
}
exit();
