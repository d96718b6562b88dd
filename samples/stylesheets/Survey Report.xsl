<?xml version="1.0" encoding="UTF-8"?>
<!--
  Survey Report - an HTML report of a Dexmor job: job properties,
  coordinate system, a summary (points per code and per method, extents of
  the coordinates, lowest and highest point), the instrument setups with
  their observations and reductions, and the table of all points.

  The style sheet never relies on whitespace-only text nodes, neither in the
  job nor in this file: spaces and line breaks of the output come from
  XPath string literals (the $sp variable), so the report is the same when
  such nodes are dropped while loading.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

<xsl:output method="html" encoding="UTF-8" indent="yes" doctype-system="about:legacy-compat"/>
<xsl:strip-space elements="*"/>

<xsl:variable name="fileExt" select="'html'"/>

<!-- Settings the user is asked for (definition line, then its current value). -->
<xsl:variable name="userField1" select="'reportTitle|Report title|STRING'"/>
<xsl:variable name="reportTitle" select="'Survey report'"/>
<xsl:variable name="userField2" select="'decimals|Decimal places for coordinates and distances|INTEGER|0|6'"/>
<xsl:variable name="decimals" select="3"/>
<xsl:variable name="userField3" select="'latLonFormat|Latitude and longitude as|STRINGMENU|2|Degrees, minutes, seconds|Decimal degrees'"/>
<xsl:variable name="latLonFormat" select="'Degrees, minutes, seconds'"/>
<xsl:variable name="userField4" select="'showObservations|List setups and observations|STRINGMENU|2|Yes|No'"/>
<xsl:variable name="showObservations" select="'Yes'"/>
<xsl:variable name="userField5" select="'logoFile|Company logo shown in the heading (optional)|FILENAME|png'"/>
<xsl:variable name="logoFile" select="''"/>
<xsl:variable name="userField6" select="'scaleFactor|Scale factor for horizontal distances (ground to grid)|DOUBLE|0.9|1.1'"/>
<xsl:variable name="scaleFactor" select="1.0000"/>

<xsl:key name="point" match="Point" use="@id"/>
<xsl:key name="points-by-code" match="Point" use="@code"/>
<xsl:key name="points-by-method" match="Point" use="@method"/>
<xsl:key name="code" match="FeatureCodes/Code" use="@name"/>
<xsl:key name="reduced" match="Reduced" use="@observation"/>
<xsl:key name="setup-reduction" match="SetupReduction" use="@setup"/>

<xsl:variable name="job" select="/DexmorJob"/>
<xsl:variable name="points" select="/DexmorJob/Points/Point"/>
<xsl:variable name="angleUnit" select="normalize-space(/DexmorJob/Units/@angle)"/>
<xsl:variable name="sp" select="' '"/>

<!-- format-number pattern with $decimals places (0 to 9). -->
<xsl:variable name="patternRTF">
  <xsl:choose>
    <xsl:when test="$decimals &gt;= 1">
      <xsl:value-of select="concat('0.', substring('000000000', 1, $decimals))"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:text>0</xsl:text>
    </xsl:otherwise>
  </xsl:choose>
</xsl:variable>
<xsl:variable name="pattern" select="string($patternRTF)"/>

<xsl:variable name="angleHeading">
  <xsl:choose>
    <xsl:when test="$angleUnit = 'degree'">[° ′ ″]</xsl:when>
    <xsl:otherwise>[gon]</xsl:otherwise>
  </xsl:choose>
</xsl:variable>

<!-- ================================================================ page -->
<xsl:template match="/">
  <xsl:variable name="jobName" select="normalize-space($job/JobProperties/Name)"/>
  <html lang="en">
    <head>
      <title>
        <xsl:value-of select="$reportTitle"/>
        <xsl:if test="$jobName != ''">
          <xsl:value-of select="concat(' – ', $jobName)"/>
        </xsl:if>
      </title>
      <style>
body { font-family: "DejaVu Sans", Arial, sans-serif; font-size: 10pt; color: #222; margin: 1.5em; }
h1 { font-size: 17pt; margin: 0 0 0.2em 0; }
h2 { font-size: 13pt; border-bottom: 2px solid #3b6e8f; color: #3b6e8f; margin-top: 1.6em; }
h3 { font-size: 11pt; margin: 1.2em 0 0.4em 0; }
.sub { color: #555; margin: 0; }
.logo { float: right; max-height: 60px; }
table { border-collapse: collapse; margin: 0.3em 0 0.8em 0; }
th, td { border: 1px solid #b8c4cc; padding: 2px 6px; vertical-align: top; }
th { background: #e4edf3; text-align: left; }
table.props th { width: 13em; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
tr:nth-child(even) td { background: #f6f8fa; }
.summary { display: flex; flex-wrap: wrap; align-items: flex-start; gap: 2em; }
.foot { margin-top: 2em; color: #777; font-size: 8pt; }
@page { size: A4; margin: 14mm 12mm 16mm 12mm; }
@page wide { size: A4 landscape; margin: 12mm 12mm 14mm 12mm; }
@media print {
  body { margin: 0; font-size: 7.5pt; }
  h2, h3 { break-after: avoid; page-break-after: avoid; }
  .part.setups, .part.points { break-before: page; page-break-before: always; }
  .part.points { page: wide; }
  .setup { break-inside: avoid; page-break-inside: avoid; }
  thead { display: table-header-group; }
  tr, th, td { break-inside: avoid; page-break-inside: avoid; }
  th, td { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  th, td { padding: 1px 4px; }
}
      </style>
    </head>
    <body>
      <div class="head">
        <xsl:if test="normalize-space($logoFile) != ''">
          <img class="logo" src="{$logoFile}" alt="Logo"/>
        </xsl:if>
        <h1><xsl:value-of select="$reportTitle"/></h1>
        <p class="sub">
          <xsl:value-of select="$jobName"/>
          <xsl:if test="normalize-space($job/JobProperties/Number) != ''">
            <xsl:value-of select="concat(' · Job ', normalize-space($job/JobProperties/Number))"/>
          </xsl:if>
        </p>
      </div>
      <xsl:call-template name="job-properties"/>
      <xsl:call-template name="coordinate-system"/>
      <xsl:call-template name="summary"/>
      <xsl:if test="$showObservations != 'No'">
        <xsl:call-template name="setups"/>
      </xsl:if>
      <xsl:call-template name="point-table"/>
      <div class="foot">
        <xsl:text>Produced with Zandrel from a Dexmor job</xsl:text>
        <xsl:if test="$job/@version">
          <xsl:value-of select="concat(' (format version ', $job/@version, ')')"/>
        </xsl:if>
        <xsl:text>. Times are UTC. Distances and coordinates in metres.</xsl:text>
      </div>
    </body>
  </html>
</xsl:template>

<!-- ================================================================ job -->
<xsl:template name="job-properties">
  <div class="part job">
  <h2>Job</h2>
  <table class="props">
    <xsl:for-each select="$job/JobProperties/*[normalize-space(.) != '']">
      <tr>
        <th>
          <xsl:choose>
            <xsl:when test="local-name() = 'Name'">Job name</xsl:when>
            <xsl:when test="local-name() = 'Number'">Job number</xsl:when>
            <xsl:when test="local-name() = 'FieldworkStart'">Fieldwork from</xsl:when>
            <xsl:when test="local-name() = 'FieldworkEnd'">Fieldwork to</xsl:when>
            <xsl:otherwise><xsl:value-of select="local-name()"/></xsl:otherwise>
          </xsl:choose>
        </th>
        <td>
          <xsl:choose>
            <xsl:when test="local-name() = 'Created' or local-name() = 'Modified'">
              <xsl:call-template name="time">
                <xsl:with-param name="value" select="."/>
              </xsl:call-template>
            </xsl:when>
            <xsl:otherwise>
              <xsl:value-of select="normalize-space(.)"/>
            </xsl:otherwise>
          </xsl:choose>
        </td>
      </tr>
    </xsl:for-each>
  </table>
  </div>
</xsl:template>

<xsl:template name="coordinate-system">
  <xsl:variable name="cs" select="$job/CoordinateSystem"/>
  <div class="part coordinate-system">
  <h2>Coordinate system and units</h2>
  <table class="props">
    <xsl:if test="$cs">
      <tr>
        <th>Coordinate system</th>
        <td>
          <xsl:value-of select="$cs/@name"/>
          <xsl:if test="$cs/@epsg">
            <xsl:value-of select="concat(' (EPSG:', $cs/@epsg, ')')"/>
          </xsl:if>
        </td>
      </tr>
    </xsl:if>
    <xsl:for-each select="$cs/Projection">
      <tr>
        <th>Projection</th>
        <td>
          <xsl:choose>
            <xsl:when test="@type = 'TransverseMercator'">Transverse Mercator</xsl:when>
            <xsl:otherwise><xsl:value-of select="@type"/></xsl:otherwise>
          </xsl:choose>
          <xsl:if test="@zone">
            <xsl:value-of select="concat(', zone ', @zone)"/>
          </xsl:if>
          <xsl:value-of select="concat('; central meridian ', @centralMeridian, '°, latitude of origin ',
                                       @latitudeOfOrigin, '°, scale factor ', @scaleFactor,
                                       ', false easting ', @falseEasting, ' m, false northing ',
                                       @falseNorthing, ' m')"/>
        </td>
      </tr>
    </xsl:for-each>
    <xsl:for-each select="$cs/Datum">
      <tr>
        <th>Datum</th>
        <td>
          <xsl:value-of select="concat(@name, '; ellipsoid ', @ellipsoid, ' (a = ', @semiMajorAxis,
                                       ' m, 1/f = ', @inverseFlattening, ')')"/>
        </td>
      </tr>
    </xsl:for-each>
    <xsl:for-each select="$cs/VerticalDatum">
      <tr>
        <th>Heights</th>
        <td>
          <xsl:value-of select="@name"/>
          <xsl:if test="@geoidModel">
            <xsl:value-of select="concat('; geoid model ', @geoidModel,
                                         '; ellipsoidal heights h are above the ellipsoid')"/>
          </xsl:if>
        </td>
      </tr>
    </xsl:for-each>
    <xsl:for-each select="$job/Units">
      <tr>
        <th>Units</th>
        <td>
          <xsl:value-of select="concat('distance: ', @distance, '; angles: ', @angle)"/>
          <xsl:if test="@temperature">
            <xsl:value-of select="concat('; temperature: ', @temperature, '; pressure: ', @pressure)"/>
          </xsl:if>
          <xsl:if test="@time">
            <xsl:value-of select="concat('; times: ', @time)"/>
          </xsl:if>
        </td>
      </tr>
    </xsl:for-each>
    <xsl:for-each select="$job/Equipment/*">
      <tr>
        <th>
          <xsl:choose>
            <xsl:when test="local-name() = 'TotalStation'">Total station</xsl:when>
            <xsl:when test="local-name() = 'GnssReceiver'">GNSS receiver</xsl:when>
            <xsl:otherwise><xsl:value-of select="local-name()"/></xsl:otherwise>
          </xsl:choose>
        </th>
        <td>
          <xsl:value-of select="concat(@model, ', serial ', @serial)"/>
          <xsl:if test="@angleStdDev">
            <xsl:value-of select="concat('; σ angle ', @angleStdDev, ', σ distance ', @distanceStdDev)"/>
          </xsl:if>
          <xsl:if test="@correction">
            <xsl:value-of select="concat('; corrections: ', @correction)"/>
          </xsl:if>
        </td>
      </tr>
    </xsl:for-each>
  </table>
  </div>
</xsl:template>

<!-- ================================================================ summary -->
<xsl:template name="summary">
  <xsl:variable name="withGrid" select="$points[number(Grid/@e) = number(Grid/@e)
                                                and number(Grid/@n) = number(Grid/@n)]"/>
  <xsl:variable name="withZ" select="$points[number(Grid/@z) = number(Grid/@z)]"/>
  <div class="part">
  <h2>Summary</h2>
  <div class="summary">
    <table>
      <thead><tr><th colspan="2">Contents</th></tr></thead>
      <tbody>
      <tr>
        <td>Points</td>
        <td class="num"><xsl:value-of select="count($points)"/></td>
      </tr>
      <tr>
        <td>Instrument setups</td>
        <td class="num"><xsl:value-of select="count($job/Setups/Setup)"/></td>
      </tr>
      <tr>
        <td>Observations</td>
        <td class="num"><xsl:value-of select="count($job/Setups/Setup/Observation)"/></td>
      </tr>
      </tbody>
    </table>

    <table>
      <thead><tr><th>Code</th><th>Meaning</th><th>Points</th></tr></thead>
      <tbody>
      <!-- codes of the job's code list, in its order -->
      <xsl:for-each select="$job/FeatureCodes/Code[key('points-by-code', @name)]">
        <tr>
          <td><xsl:value-of select="@name"/></td>
          <td><xsl:value-of select="@description"/></td>
          <td class="num"><xsl:value-of select="count(key('points-by-code', @name))"/></td>
        </tr>
      </xsl:for-each>
      <!-- codes that are used but not in the code list -->
      <xsl:for-each select="$points[normalize-space(@code) != ''
                                    and generate-id() = generate-id(key('points-by-code', @code)[1])
                                    and not(key('code', @code))]">
        <xsl:sort select="@code"/>
        <tr>
          <td><xsl:value-of select="@code"/></td>
          <td>(not in the code list)</td>
          <td class="num"><xsl:value-of select="count(key('points-by-code', @code))"/></td>
        </tr>
      </xsl:for-each>
      <xsl:if test="$points[normalize-space(@code) = '']">
        <tr>
          <td>–</td>
          <td>(no code)</td>
          <td class="num"><xsl:value-of select="count($points[normalize-space(@code) = ''])"/></td>
        </tr>
      </xsl:if>
      </tbody>
    </table>

    <table>
      <thead><tr><th>Method</th><th>Points</th></tr></thead>
      <tbody>
      <xsl:for-each select="$points[generate-id() = generate-id(key('points-by-method', @method)[1])]">
        <xsl:sort select="@method"/>
        <tr>
          <td>
            <xsl:call-template name="method">
              <xsl:with-param name="value" select="@method"/>
            </xsl:call-template>
          </td>
          <td class="num"><xsl:value-of select="count(key('points-by-method', @method))"/></td>
        </tr>
      </xsl:for-each>
      </tbody>
    </table>

    <xsl:if test="$withGrid">
      <table>
        <thead><tr><th>Extents</th><th>Minimum</th><th>Maximum</th><th>Range</th></tr></thead>
        <tbody>
        <xsl:call-template name="extent-row">
          <xsl:with-param name="label" select="'Easting'"/>
          <xsl:with-param name="nodes" select="$withGrid/Grid/@e"/>
        </xsl:call-template>
        <xsl:call-template name="extent-row">
          <xsl:with-param name="label" select="'Northing'"/>
          <xsl:with-param name="nodes" select="$withGrid/Grid/@n"/>
        </xsl:call-template>
        <xsl:if test="$withZ">
          <xsl:call-template name="extent-row">
            <xsl:with-param name="label" select="'Elevation'"/>
            <xsl:with-param name="nodes" select="$withZ/Grid/@z"/>
          </xsl:call-template>
        </xsl:if>
        </tbody>
      </table>
    </xsl:if>

    <xsl:if test="$withZ">
      <table>
        <thead><tr><th></th><th>Point</th><th>Code</th><th>Elevation</th></tr></thead>
        <tbody>
        <xsl:for-each select="$withZ">
          <xsl:sort select="Grid/@z" data-type="number"/>
          <xsl:if test="position() = 1">
            <tr>
              <td>Lowest</td>
              <td><xsl:value-of select="@name"/></td>
              <td><xsl:value-of select="@code"/></td>
              <td class="num"><xsl:value-of select="format-number(Grid/@z, $pattern)"/></td>
            </tr>
          </xsl:if>
        </xsl:for-each>
        <xsl:for-each select="$withZ">
          <xsl:sort select="Grid/@z" data-type="number" order="descending"/>
          <xsl:if test="position() = 1">
            <tr>
              <td>Highest</td>
              <td><xsl:value-of select="@name"/></td>
              <td><xsl:value-of select="@code"/></td>
              <td class="num"><xsl:value-of select="format-number(Grid/@z, $pattern)"/></td>
            </tr>
          </xsl:if>
        </xsl:for-each>
        </tbody>
      </table>
    </xsl:if>
  </div>
  </div>
</xsl:template>

<xsl:template name="extent-row">
  <xsl:param name="label"/>
  <xsl:param name="nodes"/>
  <xsl:variable name="min">
    <xsl:for-each select="$nodes">
      <xsl:sort select="." data-type="number"/>
      <xsl:if test="position() = 1"><xsl:value-of select="."/></xsl:if>
    </xsl:for-each>
  </xsl:variable>
  <xsl:variable name="max">
    <xsl:for-each select="$nodes">
      <xsl:sort select="." data-type="number" order="descending"/>
      <xsl:if test="position() = 1"><xsl:value-of select="."/></xsl:if>
    </xsl:for-each>
  </xsl:variable>
  <tr>
    <td><xsl:value-of select="$label"/></td>
    <td class="num"><xsl:value-of select="format-number($min, $pattern)"/></td>
    <td class="num"><xsl:value-of select="format-number($max, $pattern)"/></td>
    <td class="num"><xsl:value-of select="format-number($max - $min, $pattern)"/></td>
  </tr>
</xsl:template>

<!-- ================================================================ setups -->
<xsl:template name="setups">
  <div class="part setups">
  <h2>Setups and observations</h2>
  <xsl:if test="not($job/Setups/Setup)">
    <p>The job has no instrument setups.</p>
  </xsl:if>
  <xsl:for-each select="$job/Setups/Setup">
    <xsl:variable name="station" select="key('point', @station)"/>
    <xsl:variable name="backsight" select="key('point', @backsight)"/>
    <xsl:variable name="reduction" select="key('setup-reduction', @id)"/>
    <xsl:variable name="instrument" select="$job/Equipment/*[@id = current()/@instrument]"/>
    <div class="setup">
    <h3>
      <xsl:value-of select="concat('Setup ', @id, ' on ', $station/@name)"/>
    </h3>
    <table class="props">
      <tr>
        <th>Station / backsight</th>
        <td>
          <xsl:value-of select="concat($station/@name, ' (', $station/@code, ') / ',
                                       $backsight/@name, ' (', $backsight/@code, ')')"/>
        </td>
      </tr>
      <tr>
        <th>Instrument height</th>
        <td>
          <xsl:value-of select="concat(format-number(@instrumentHeight, '0.000'), ' m')"/>
          <xsl:if test="$instrument">
            <xsl:value-of select="concat('; ', $instrument/@model, ', serial ', $instrument/@serial)"/>
          </xsl:if>
        </td>
      </tr>
      <tr>
        <th>Time</th>
        <td>
          <xsl:call-template name="time">
            <xsl:with-param name="value" select="@time"/>
          </xsl:call-template>
        </td>
      </tr>
      <xsl:for-each select="Atmosphere">
        <tr>
          <th>Atmosphere</th>
          <td>
            <xsl:value-of select="concat(@temperature, ' °C, ', @pressure, ' hPa, ', @ppm, ' ppm')"/>
          </td>
        </tr>
      </xsl:for-each>
      <xsl:for-each select="$reduction">
        <tr>
          <th>Orientation</th>
          <td>
            <xsl:call-template name="angle">
              <xsl:with-param name="value" select="@orientation"/>
            </xsl:call-template>
            <xsl:if test="$angleUnit != 'degree'">
              <xsl:value-of select="' gon'"/>
            </xsl:if>
          </td>
        </tr>
        <tr>
          <th>Scale factors</th>
          <td>
            <xsl:value-of select="concat('grid ', @scaleFactor, ' × elevation ', @elevationFactor,
                                         ' = combined ', @combinedFactor)"/>
          </td>
        </tr>
      </xsl:for-each>
    </table>
    <table>
      <thead>
      <tr>
        <th>Point</th>
        <th>Code</th>
        <th>Role</th>
        <th>Hz <xsl:value-of select="$angleHeading"/></th>
        <th>V <xsl:value-of select="$angleHeading"/></th>
        <th>Slope dist. [m]</th>
        <th>Target ht [m]</th>
        <th>Horiz. dist. [m]</th>
        <th>Height diff. [m]</th>
        <th>Time (UTC)</th>
      </tr>
      </thead>
      <tbody>
      <xsl:for-each select="Observation">
        <xsl:variable name="target" select="key('point', @point)"/>
        <xsl:variable name="reduced" select="key('reduced', @id)"/>
        <tr>
          <td><xsl:value-of select="$target/@name"/></td>
          <td><xsl:value-of select="$target/@code"/></td>
          <td><xsl:value-of select="@role"/></td>
          <td class="num">
            <xsl:call-template name="angle">
              <xsl:with-param name="value" select="@hz"/>
            </xsl:call-template>
          </td>
          <td class="num">
            <xsl:call-template name="angle">
              <xsl:with-param name="value" select="@v"/>
            </xsl:call-template>
          </td>
          <td class="num"><xsl:value-of select="format-number(@sd, $pattern)"/></td>
          <td class="num"><xsl:value-of select="format-number(@targetHeight, '0.000')"/></td>
          <td class="num">
            <xsl:if test="$reduced">
              <xsl:value-of select="format-number($reduced/@hd * $scaleFactor, $pattern)"/>
            </xsl:if>
          </td>
          <td class="num">
            <xsl:if test="$reduced">
              <xsl:value-of select="format-number($reduced/@dh, $pattern)"/>
            </xsl:if>
          </td>
          <td>
            <xsl:call-template name="time">
              <xsl:with-param name="value" select="@time"/>
            </xsl:call-template>
          </td>
        </tr>
      </xsl:for-each>
      </tbody>
    </table>
    </div>
  </xsl:for-each>
  </div>
</xsl:template>

<!-- ================================================================ points -->
<xsl:template name="point-table">
  <div class="part points">
  <h2>Points</h2>
  <table>
    <thead>
    <tr>
      <th>Name</th>
      <th>Code</th>
      <th>Easting [m]</th>
      <th>Northing [m]</th>
      <th>Elevation [m]</th>
      <th>Latitude</th>
      <th>Longitude</th>
      <th>h [m]</th>
      <th>Method</th>
      <th>σ pos. [m]</th>
      <th>σ ht. [m]</th>
      <th>Time (UTC)</th>
      <th>Description</th>
    </tr>
    </thead>
    <tbody>
    <xsl:for-each select="$points">
      <tr>
        <td><xsl:value-of select="@name"/></td>
        <td><xsl:value-of select="@code"/></td>
        <td class="num"><xsl:call-template name="number"><xsl:with-param name="value" select="Grid/@e"/></xsl:call-template></td>
        <td class="num"><xsl:call-template name="number"><xsl:with-param name="value" select="Grid/@n"/></xsl:call-template></td>
        <td class="num"><xsl:call-template name="number"><xsl:with-param name="value" select="Grid/@z"/></xsl:call-template></td>
        <td class="num">
          <xsl:call-template name="latlon">
            <xsl:with-param name="value" select="Geographic/@lat"/>
            <xsl:with-param name="hemispheres" select="'NS'"/>
          </xsl:call-template>
        </td>
        <td class="num">
          <xsl:call-template name="latlon">
            <xsl:with-param name="value" select="Geographic/@lon"/>
            <xsl:with-param name="hemispheres" select="'EW'"/>
          </xsl:call-template>
        </td>
        <td class="num"><xsl:call-template name="number"><xsl:with-param name="value" select="Geographic/@h"/></xsl:call-template></td>
        <td>
          <xsl:call-template name="method">
            <xsl:with-param name="value" select="@method"/>
          </xsl:call-template>
        </td>
        <td class="num"><xsl:value-of select="Quality/@hPrec"/></td>
        <td class="num"><xsl:value-of select="Quality/@vPrec"/></td>
        <td>
          <xsl:call-template name="time">
            <xsl:with-param name="value" select="@time"/>
          </xsl:call-template>
        </td>
        <td><xsl:value-of select="normalize-space(Description)"/></td>
      </tr>
    </xsl:for-each>
    </tbody>
  </table>
  </div>
</xsl:template>

<!-- ================================================================ helpers -->
<!-- A number with $decimals places, or nothing when it is missing. -->
<xsl:template name="number">
  <xsl:param name="value"/>
  <xsl:if test="string(number($value)) != 'NaN'">
    <xsl:value-of select="format-number($value, $pattern)"/>
  </xsl:if>
</xsl:template>

<!-- An observed angle in the job's unit: gon with 5 places, degrees as D°MM′SS.S″. -->
<xsl:template name="angle">
  <xsl:param name="value"/>
  <xsl:choose>
    <xsl:when test="string(number($value)) = 'NaN'"/>
    <xsl:when test="$angleUnit = 'degree'">
      <xsl:call-template name="dms">
        <xsl:with-param name="value" select="number($value)"/>
        <xsl:with-param name="places" select="1"/>
      </xsl:call-template>
    </xsl:when>
    <xsl:otherwise>
      <xsl:value-of select="format-number($value, '0.00000')"/>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- Latitude or longitude; $hemispheres is 'NS' or 'EW'. -->
<xsl:template name="latlon">
  <xsl:param name="value"/>
  <xsl:param name="hemispheres"/>
  <xsl:choose>
    <xsl:when test="string(number($value)) = 'NaN'"/>
    <xsl:when test="$latLonFormat = 'Decimal degrees'">
      <xsl:value-of select="format-number($value, '0.000000000')"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:call-template name="dms">
        <xsl:with-param name="value" select="number($value)"/>
        <xsl:with-param name="places" select="4"/>
      </xsl:call-template>
      <xsl:value-of select="concat($sp, substring($hemispheres, 1 + (number($value) &lt; 0), 1))"/>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- |value| in degrees as D°MM′SS.s″ with $places decimals of seconds
     (0 to 6). The value is rounded once, in units of the last place, so
     that 59.99999″ never shows as 60″. -->
<xsl:template name="dms">
  <xsl:param name="value"/>
  <xsl:param name="places" select="1"/>
  <xsl:variable name="abs" select="$value * (1 - 2 * ($value &lt; 0))"/>
  <xsl:variable name="unit" select="number(substring('1000000', 1, $places + 1))"/>
  <xsl:variable name="total" select="round($abs * 3600 * $unit)"/>
  <xsl:variable name="deg" select="floor($total div (3600 * $unit))"/>
  <xsl:variable name="rest" select="$total - $deg * 3600 * $unit"/>
  <xsl:variable name="min" select="floor($rest div (60 * $unit))"/>
  <xsl:variable name="sec" select="($rest - $min * 60 * $unit) div $unit"/>
  <xsl:variable name="secPattern">
    <xsl:choose>
      <xsl:when test="$places &gt;= 1">
        <xsl:value-of select="concat('00.', substring('000000', 1, $places))"/>
      </xsl:when>
      <xsl:otherwise>
        <xsl:text>00</xsl:text>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:value-of select="concat(format-number($deg, '0'), '°', format-number($min, '00'), '′',
                               format-number($sec, string($secPattern)), '″')"/>
</xsl:template>

<!-- ISO 8601 time 2024-05-13T06:53:05Z as 2024-05-13 06:53:05. -->
<xsl:template name="time">
  <xsl:param name="value"/>
  <xsl:value-of select="translate(normalize-space($value), 'TZ', ' ')"/>
</xsl:template>

<xsl:template name="method">
  <xsl:param name="value"/>
  <xsl:choose>
    <xsl:when test="$value = 'GNSS-RTK'">GNSS RTK</xsl:when>
    <xsl:when test="$value = 'TotalStation'">Total station</xsl:when>
    <xsl:when test="$value = 'Keyed'">Keyed in</xsl:when>
    <xsl:otherwise><xsl:value-of select="$value"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

</xsl:stylesheet>
