// The page of a running monitor in a real browser: Debian's chromium,
// headless, driven by puppeteer-core against `geocom monitor --http`
// measuring a virtual instrument whose prism creeps north past its limits.
//
// Usage: node monitor-page.test.mjs GEOCOM SCREENSHOT.png
// Exit status 0 when every check passes, 1 otherwise.
import { mkdtempSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { checkSelfContained, checks, commandLine, keepScreenshot, launch, startGeocom,
         watchedPage } from "./browser.mjs";
import { station, targets, writeCreepScene } from "./creep.mjs";

const [geocom, screenshot] = commandLine("monitor-page.test.mjs", "GEOCOM", "SCREENSHOT.png");
const { check, exit } = checks();

const work = mkdtempSync(join(tmpdir(), "monitor-page-test-"));
writeCreepScene(work);
const instrument = await startGeocom(geocom,
  ["simulate", "--listen", "127.0.0.1:0", "--scene", join(work, "scene.json")],
  [/listening on (\S+)/]);
writeFileSync(join(work, "creep.json"), JSON.stringify({
  instrument: instrument.addresses[0], station, faces: 1, targets,
  store: join(work, "creep.sqlite"), interval: 0.3,
  limits: [{ targets: "*", component: "north", warning: "3 mm", alarm: "9 mm",
             consecutive: 2 }],
}));
const monitor = await startGeocom(geocom,
  ["monitor", join(work, "creep.json"), "--http", "127.0.0.1:0"], [/monitor page on (\S+)/]);
const [pageUrl] = monitor.addresses;
const chromium = await launch("monitor-page");
try {
  const watched = await watchedPage(chromium.browser, 1100, 1200);
  const { page } = watched;
  await page.goto(pageUrl, { waitUntil: "load" });

  // The history first, then each target as it is measured.
  await page.waitForFunction(
    () => document.querySelectorAll("#series figure svg.series").length === 2,
    { timeout: 30000 });
  // STILL raises no event: its row moves on with the rounds alone.
  const roundShown = () => page.$eval('#last-values tr[data-target="STILL"]',
    (row) => Number(row.cells[2].textContent));
  const first = await roundShown();
  await page.waitForFunction(
    (round) => Number(document.querySelector('#last-values tr[data-target="STILL"]')
                        .cells[2].textContent) > round + 2,
    { timeout: 30000 }, first);
  check(await roundShown() > first + 2,
        `the rows follow the rounds as they are measured (from round ${first})`);

  await page.waitForFunction(
    () => [...document.querySelectorAll("#events td")].some((cell) => cell.textContent === "warning"),
    { timeout: 40000 });
  const shown = await page.evaluate(() => ({
    title: document.getElementById("job").textContent,
    targets: [...document.querySelectorAll("#last-values tbody tr")].map((row) => row.dataset.target),
    levels: [...document.querySelectorAll("#last-values tbody tr")].map((row) => row.cells[8].textContent),
    north: Number(document.querySelector('#last-values tr[data-target="MOVING"]').cells[4].textContent),
    lines: [...document.querySelectorAll("#series figure")].map(
      (figure) => figure.querySelectorAll("polyline").length),
    limits: document.querySelectorAll('figure[data-target="MOVING"] line[stroke-dasharray="6 4"]').length,
    width: document.querySelector("svg.series").getBoundingClientRect().width,
    badge: document.getElementById("connection").textContent,
    // The page's own formatting, on values either side of zero.
    millimetres: [-0.00004, 0.00004, -0.0002, 0.0012].map(millimetres),
  }));
  check(shown.title === "Monitoring creep", `the job's name heads the page (${shown.title})`);
  check(shown.targets.join() === "MOVING,STILL", `a row per target (${shown.targets})`);
  check(shown.levels[0] !== "clear" && shown.levels[1] === "clear",
        `the levels reached (${shown.levels})`);
  check(shown.north >= 3, `dN in millimetres past the warning (${shown.north})`);
  check(shown.lines.join() === "3,3", `dE, dN and dH drawn for each target (${shown.lines})`);
  check(shown.limits === 4, `the warning and the alarm dashed above and below zero (${shown.limits})`);
  check(shown.width > 600, `the series fills the page (${shown.width} px)`);
  check(shown.badge === "live", "the feed is open");
  check(shown.millimetres.join() === "0.0,0.0,-0.2,1.2",
        `a value rounding to zero reads 0.0, whatever its sign (${shown.millimetres})`);

  checkSelfContained(check, new URL(pageUrl).origin, watched);
  await keepScreenshot(page, screenshot);
  check(true, `screenshot kept in ${screenshot}`);
} catch (error) {
  check(false, error.stack ?? String(error));
} finally {
  await chromium.close();
  monitor.child.kill("SIGINT");
  instrument.child.kill("SIGTERM");
  rmSync(work, { recursive: true, force: true });
}
exit();
