// What the monitoring pages' browser tests share: a scene with one prism
// that creeps north past a job's limits and one that stays still.
import { writeFileSync } from "node:fs";
import { join } from "node:path";

export const station = { easting: 1000, northing: 2000, height: 100 };
export const targets = [
  { id: "MOVING", easting: 1030, northing: 2040, height: 104 },
  { id: "STILL", easting: 970, northing: 2045, height: 101 },
];

// Writes scene.json into work: MOVING drifts 3 mm north a second.
export function writeCreepScene(work) {
  writeFileSync(join(work, "scene.json"), JSON.stringify({
    station: { ...station, id: "PILLAR" },
    prisms: [{ ...targets[0], drift: { easting: 0.001, northing: 0.003, height: 0 } },
             targets[1]],
    noise: { angle: 0, distance: 0 },
    telescope: { max_speed: 50 },
    edm: { measure_time: 0.01 },
    time_scale: 86400, // a scene day a second
  }));
}
