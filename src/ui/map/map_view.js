// The map page's drawing surface on Leaflet: the tile layer (any OpenStreetMap-style server),
// a grid on a plain background under it so that the track and the car stay readable when no
// tile can be loaded, the scale, the "Position" box, the track lines and the car marker with the
// icons of the three icon sets, drawn here (57 x 34 pixels, one per heading sector).
(function (global) {
    'use strict';

    const ICON_WIDTH = 57;
    const ICON_HEIGHT = 34;
    const SECTOR_NAMES = ['n', 'nne', 'ne', 'nee', 'e', 'see', 'se', 'sse',
                          's', 'ssw', 'sw', 'sww', 'w', 'nww', 'nw', 'nnw'];
    const SET_COLOURS = {
        'image-run': '#1565c0',   // driving
        'image-speed': '#d32f2f', // over the speed limit
        'image-idle': '#6d6d6d',  // standing
    };

    // "./image-speed/nne.png" -> a picture of the car pointing north-north-east, as a data URL.
    function drawIcon(key) {
        const match = /([a-z-]+)\/([a-z]+)\.png$/.exec(key);
        const colour = (match && SET_COLOURS[match[1]]) || SET_COLOURS['image-run'];
        const sector = match ? Math.max(0, SECTOR_NAMES.indexOf(match[2])) : 0;
        const canvas = document.createElement('canvas');
        canvas.width = ICON_WIDTH;
        canvas.height = ICON_HEIGHT;
        const g = canvas.getContext('2d');
        g.translate(ICON_WIDTH / 2, ICON_HEIGHT / 2);
        g.rotate(sector * Math.PI / 8);
        // An arrow head with a white rim, pointing up (north) before the turn.
        g.beginPath();
        g.moveTo(0, -15);
        g.lineTo(10, 12);
        g.lineTo(0, 6);
        g.lineTo(-10, 12);
        g.closePath();
        g.lineJoin = 'round';
        g.lineWidth = 3;
        g.strokeStyle = '#ffffff';
        g.stroke();
        g.fillStyle = colour;
        g.fill();
        return canvas.toDataURL('image/png');
    }

    // The plain background: a light canvas with lines every tile and the tile's corner position.
    function gridLayer(L) {
        const Grid = L.GridLayer.extend({
            createTile: function (coords) {
                const tile = document.createElement('canvas');
                const size = this.getTileSize();
                tile.width = size.x;
                tile.height = size.y;
                const g = tile.getContext('2d');
                g.fillStyle = '#eef0ec';
                g.fillRect(0, 0, size.x, size.y);
                g.strokeStyle = '#c4c9c0';
                g.lineWidth = 1;
                g.strokeRect(0.5, 0.5, size.x, size.y);
                const corner = this._map.unproject(coords.scaleBy(size), coords.z);
                g.fillStyle = '#8a9086';
                g.font = '10px sans-serif';
                g.fillText(corner.lat.toFixed(4) + ', ' + corner.lng.toFixed(4), 4, 12);
                return tile;
            },
        });
        return new Grid({ zIndex: 0 });
    }

    function create(container, boxes) {
        const L = global.L;
        const map = L.map(container, {
            center: [39.570956, 116.558059],
            zoom: 15,
            dragging: true,
            scrollWheelZoom: true,
            doubleClickZoom: true,
            keyboard: true,
            zoomControl: false,
            fadeAnimation: false,
            zoomAnimation: false,
        });
        L.control.zoom({ position: 'topleft' }).addTo(map);
        map.attributionControl.setPrefix(false); // the tile source's own credit is what counts
        L.control.scale({ position: 'bottomleft', imperial: false }).addTo(map);
        gridLayer(L).addTo(map);

        let tiles = null;
        let tileUrl = '';
        let loaded = 0;
        let failed = 0;
        let centred = false;
        const icons = {};
        let tracks = [];
        let current = null;
        let car = null;
        let carIcon = '';
        let carAt = null;

        function showOffline() {
            boxes.offlineBox.style.display = failed > 0 && loaded === 0 ? 'block' : 'none';
        }

        function iconFor(key) {
            if (!icons[key]) {
                icons[key] = L.icon({
                    iconUrl: drawIcon(key),
                    iconSize: [ICON_WIDTH, ICON_HEIGHT],
                    iconAnchor: [ICON_WIDTH / 2, ICON_HEIGHT / 2],
                });
            }
            return icons[key];
        }

        return {
            configure(url, attribution, defaultLng, defaultLat) {
                if (!centred) {
                    centred = true;
                    const lng = parseFloat(defaultLng);
                    const lat = parseFloat(defaultLat);
                    if (Number.isFinite(lng) && Number.isFinite(lat) && (lng !== 0 || lat !== 0)) {
                        map.setView([lat, lng], map.getZoom(), { animate: false });
                    }
                }
                if (!url || url === tileUrl) {
                    return;
                }
                if (tiles) {
                    map.removeLayer(tiles);
                }
                tileUrl = url;
                loaded = 0;
                failed = 0;
                tiles = L.tileLayer(url, { attribution: attribution, maxZoom: 19, zIndex: 1 });
                tiles.on('tileload', function () { loaded += 1; showOffline(); });
                tiles.on('tileerror', function () { failed += 1; showOffline(); });
                tiles.addTo(map);
            },
            setPositionText(text) {
                boxes.positionBox.textContent = text;
            },
            clear() {
                for (const t of tracks) {
                    map.removeLayer(t);
                }
                tracks = [];
                current = null;
            },
            startTrack() {
                current = L.polyline([], { color: '#ff0000', weight: 4, opacity: 0.85 });
                current.addTo(map);
                tracks.push(current);
            },
            addPoint(lng, lat) {
                if (current === null) {
                    this.startTrack();
                }
                current.addLatLng([lat, lng]);
            },
            placeCar(lng, lat, icon) {
                if (car) {
                    map.removeLayer(car);
                }
                car = L.marker([lat, lng], { icon: iconFor(icon), interactive: false,
                                             keyboard: false });
                car.addTo(map);
                carIcon = icon;
                carAt = [lng, lat];
            },
            panTo(lng, lat) {
                map.panTo([lat, lng], { animate: false });
            },
            state() {
                const c = map.getCenter();
                return {
                    tracks: tracks.map(t => t.getLatLngs().map(p => [p.lng, p.lat])),
                    car: carAt,
                    icon: carIcon,
                    iconSize: [ICON_WIDTH, ICON_HEIGHT],
                    centre: [c.lng, c.lat],
                    offline: boxes.offlineBox.style.display === 'block',
                    tilesLoaded: loaded,
                    tilesFailed: failed,
                    tileUrl: tileUrl,
                    position: boxes.positionBox.textContent,
                };
            },
        };
    }

    global.TaveroMapView = { create, drawIcon, ICON_WIDTH, ICON_HEIGHT };
})(window);
