// The map page's drawing rules, apart from the map library: what "setMap" and "clearMap" do
// with the values the program wrote into the page's hidden input elements. The page hands in a
// view (the map library's side) and reads the elements; the tests hand in recording fakes.
//
//   view.setPositionText(text)       the "Position" box
//   view.clear()                     removes every track line (the car marker stays)
//   view.startTrack()                the next point begins a new track line
//   view.addPoint(lng, lat)          appends to the current track line
//   view.placeCar(lng, lat, icon)    the car marker, replaced at the point
//   view.panTo(lng, lat)
(function (global) {
    'use strict';

    // Heading sectors, tested in this order: above 349 N, above 326 NNW, ... above 11 NNE,
    // otherwise N.
    const SECTORS = [
        [349, 'N'], [326, 'NNW'], [304, 'NW'], [281, 'NWW'], [259, 'W'], [236, 'SWW'],
        [214, 'SW'], [191, 'SSW'], [169, 'S'], [146, 'SSE'], [124, 'SE'], [101, 'SEE'],
        [79, 'E'], [56, 'NEE'], [34, 'NE'], [11, 'NNE'],
    ];

    function headingSector(degrees) {
        for (const [above, name] of SECTORS) {
            if (degrees > above) {
                return name;
            }
        }
        return 'N';
    }

    // Status values pick the icon set: "running" 1, "over speed" 2, "idle" 3.
    const ICON_SETS = { 'running': 1, 'over speed': 2, 'idle': 3 };
    const ICON_FOLDERS = { 1: './image-run/', 2: './image-speed/', 3: './image-idle/' };

    function iconPath(set, degrees) {
        return ICON_FOLDERS[set] + headingSector(degrees).toLowerCase() + '.png';
    }

    // The map's coordinates are the receiver's moved by a fixed amount.
    const LNG_SHIFT = 0.0065;
    const LAT_SHIFT = 0.0060;

    function number(text) {
        const v = parseFloat(text);
        return Number.isFinite(v) ? v : 0;
    }

    function createMapPage(view) {
        let lastIndex = null; // the "Index" value last seen
        let last = null;      // the last point drawn since the track started, [lng, lat]
        let drawnSinceClear = false;

        function clear() {
            view.clear();
            last = null;
            drawnSinceClear = false;
        }

        // "setMap": `read(id)` gives the text of the element with that id.
        function refresh(read) {
            // The program writes no speed text of its own: the speed in km/h stands in for it.
            const speedText = read('SpeedBarText') || Math.round(number(read('SpeedBar'))) + ' km/h';
            view.setPositionText('speed=' + speedText + ' angle=' + read('AngleBar'));
            const status = read('map_status');
            if (status === 'clear') {
                clear();
                return 'cleared';
            }
            const set = ICON_SETS[status];
            if (set === undefined) {
                if (drawnSinceClear) {
                    last = null; // the next point starts a new track
                }
                return 'stopped';
            }
            const lng = number(read('map_lng'));
            const lat = number(read('map_lat'));
            if (lng === 0 && lat === 0) {
                return 'no fix';
            }
            const index = read('Index');
            if (index !== lastIndex) {
                lastIndex = index;
                last = null;
            }
            const x = lng + number(read('offset_lng'));
            const y = lat + number(read('offset_lat'));
            if (last !== null && last[0] === x && last[1] === y) {
                return 'same point';
            }
            if (last === null) {
                view.startTrack();
            }
            last = [x, y];
            drawnSinceClear = true;
            const mapLng = x + LNG_SHIFT;
            const mapLat = y + LAT_SHIFT;
            view.placeCar(mapLng, mapLat, iconPath(set, number(read('AngleBar'))));
            view.addPoint(mapLng, mapLat);
            view.panTo(mapLng, mapLat);
            return 'drawn';
        }

        return { refresh, clear };
    }

    const api = { createMapPage, headingSector, iconPath, LNG_SHIFT, LAT_SHIFT };
    if (typeof module !== 'undefined' && module.exports) {
        module.exports = api;
    } else {
        global.TaveroMapPage = api;
    }
})(typeof window !== 'undefined' ? window : globalThis);
