<?xml version="1.0" encoding="UTF-8"?>
<!--
  Survey LandXML - a Dexmor job as LandXML 1.2 for civil design and survey
  office software.

  - LandXML: dated with the job's last change (UTC), version 1.2.
  - Units: metric or imperial, with the linear unit the user chose (metre,
    international foot or US survey foot); angles and directions in the
    job's unit (grads for gon, decimal degrees).
  - CoordinateSystem: name, EPSG code, datums and ellipsoid of the job.
  - Project: the job's name and description, and its other properties as a
    Feature of Property elements. Application: this export, with the
    surveyor and company as its Author.
  - CgPoints: one CgPoint per point with grid coordinates, with name, code,
    description and time; its text is "northing easting elevation", the
    order LandXML uses.
  - Survey, when the job has instrument setups: a SurveyHeader, the total
    station of the first setup as Equipment, and one InstrumentSetup per
    setup with its InstrumentPoint, its Backsight (circle reading, target
    height, grid azimuth, point) and one RawObservation per observation
    (purpose, horizontal circle reading, zenith angle, slope distance,
    target height, time, target point). Points are referred to by name.

  Distances, heights and coordinates are converted to the chosen unit and
  written with three decimals in metres, four in feet.

  The style sheet never relies on whitespace-only text nodes, neither in the
  job nor in this file, so the result is the same when such nodes are
  dropped while loading.
-->
<xsl:stylesheet version="1.0"
    xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
    xmlns="http://www.landxml.org/schema/LandXML-1.2"
    xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">

<xsl:output method="xml" encoding="UTF-8" indent="yes"/>
<xsl:strip-space elements="*"/>

<xsl:variable name="fileExt" select="'xml'"/>

<!-- Settings the user is asked for (definition line, then its current value). -->
<xsl:variable name="userField1" select="'linearUnit|Unit of coordinates, heights and distances|STRINGMENU|3|Metre|International foot|US survey foot'"/>
<xsl:variable name="linearUnit" select="'Metre'"/>

<xsl:key name="point" match="Point" use="@id"/>
<xsl:key name="reduced" match="Reduced" use="@observation"/>
<xsl:key name="setup-reduction" match="SetupReduction" use="@setup"/>

<xsl:variable name="job" select="/DexmorJob"/>
<xsl:variable name="points" select="/DexmorJob/Points/Point[number(Grid/@e) = number(Grid/@e)
                                                            and number(Grid/@n) = number(Grid/@n)]"/>
<xsl:variable name="sp" select="' '"/>
<xsl:variable name="idChars" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.'"/>
<xsl:variable name="underscores" select="'________________________________________________________________'"/>

<!-- ============================================================== units -->
<xsl:variable name="feet" select="$linearUnit = 'International foot' or $linearUnit = 'US survey foot'"/>
<!-- length of the chosen unit in metres -->
<xsl:variable name="metres" select="0.3048 * ($linearUnit = 'International foot')
                                    + (1200 div 3937) * ($linearUnit = 'US survey foot') + not($feet)"/>
<xsl:variable name="lengthPattern" select="substring('0.0000', 1, 5 + $feet)"/>

<xsl:variable name="angleUnit" select="normalize-space($job/Units/@angle)"/>
<xsl:variable name="landAngleUnit">
  <xsl:choose>
    <xsl:when test="$angleUnit = 'degree'">decimal degrees</xsl:when>
    <xsl:otherwise>grads</xsl:otherwise>
  </xsl:choose>
</xsl:variable>
<xsl:variable name="anglePattern" select="substring('0.000000', 1, 7 + ($angleUnit = 'degree'))"/>

<!-- ============================================================== document -->
<xsl:template match="/">
  <xsl:variable name="stamp">
    <xsl:call-template name="last-change"/>
  </xsl:variable>
  <LandXML date="{substring($stamp, 1, 10)}" time="{substring($stamp, 12, 8)}" version="1.2"
           language="English" readOnly="false"
           xsi:schemaLocation="http://www.landxml.org/schema/LandXML-1.2 http://www.landxml.org/schema/LandXML-1.2/LandXML-1.2.xsd">
    <xsl:call-template name="units"/>
    <xsl:apply-templates select="$job/CoordinateSystem"/>
    <xsl:call-template name="project"/>
    <Application name="Zandrel" desc="LandXML 1.2 export of a Dexmor job" timeStamp="{$stamp}">
      <xsl:variable name="p" select="$job/JobProperties"/>
      <xsl:if test="normalize-space($p/Surveyor) != '' or normalize-space($p/Company) != ''">
        <Author>
          <xsl:if test="normalize-space($p/Surveyor) != ''">
            <xsl:attribute name="createdBy"><xsl:value-of select="normalize-space($p/Surveyor)"/></xsl:attribute>
          </xsl:if>
          <xsl:if test="normalize-space($p/Company) != ''">
            <xsl:attribute name="company"><xsl:value-of select="normalize-space($p/Company)"/></xsl:attribute>
          </xsl:if>
        </Author>
      </xsl:if>
    </Application>
    <CgPoints>
      <xsl:apply-templates select="$points"/>
    </CgPoints>
    <xsl:if test="$job/Setups/Setup">
      <xsl:call-template name="survey"/>
    </xsl:if>
  </LandXML>
</xsl:template>

<!-- The job's last change as an ISO 8601 time in UTC (yyyy-mm-ddThh:mm:ssZ): the
     file says when its data is from, never when it was written. -->
<xsl:template name="last-change">
  <xsl:variable name="p" select="$job/JobProperties"/>
  <xsl:variable name="modified" select="normalize-space($p/Modified)"/>
  <xsl:variable name="created" select="normalize-space($p/Created)"/>
  <xsl:choose>
    <xsl:when test="string-length($modified) = 20">
      <xsl:value-of select="$modified"/>
    </xsl:when>
    <xsl:when test="string-length($created) = 20">
      <xsl:value-of select="$created"/>
    </xsl:when>
    <xsl:otherwise>
      <xsl:value-of select="concat(substring(concat(normalize-space($p/FieldworkEnd), '2000-01-01'), 1, 10),
                                   'T00:00:00Z')"/>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="units">
  <Units>
    <xsl:choose>
      <xsl:when test="$feet">
        <Imperial areaUnit="squareFoot" volumeUnit="cubicFeet" temperatureUnit="fahrenheit" pressureUnit="inHG"
                  angularUnit="{$landAngleUnit}" directionUnit="{$landAngleUnit}"
                  latLongAngularUnit="decimal degrees" elevationUnit="feet">
          <xsl:attribute name="linearUnit">
            <xsl:choose>
              <xsl:when test="$linearUnit = 'US survey foot'">USSurveyFoot</xsl:when>
              <xsl:otherwise>foot</xsl:otherwise>
            </xsl:choose>
          </xsl:attribute>
        </Imperial>
      </xsl:when>
      <xsl:otherwise>
        <Metric areaUnit="squareMeter" linearUnit="meter" volumeUnit="cubicMeter" temperatureUnit="celsius"
                pressureUnit="HPA" angularUnit="{$landAngleUnit}" directionUnit="{$landAngleUnit}"
                latLongAngularUnit="decimal degrees" elevationUnit="meter"/>
      </xsl:otherwise>
    </xsl:choose>
  </Units>
</xsl:template>

<xsl:template match="CoordinateSystem">
  <CoordinateSystem>
    <xsl:if test="normalize-space(@name) != ''">
      <xsl:attribute name="name"><xsl:value-of select="normalize-space(@name)"/></xsl:attribute>
      <xsl:attribute name="projectedCoordinateSystemName"><xsl:value-of select="normalize-space(@name)"/></xsl:attribute>
    </xsl:if>
    <xsl:if test="normalize-space(@epsg) != ''">
      <xsl:attribute name="epsgCode"><xsl:value-of select="normalize-space(@epsg)"/></xsl:attribute>
    </xsl:if>
    <xsl:if test="normalize-space(Datum/@name) != ''">
      <xsl:attribute name="horizontalDatum"><xsl:value-of select="normalize-space(Datum/@name)"/></xsl:attribute>
    </xsl:if>
    <xsl:if test="normalize-space(VerticalDatum/@name) != ''">
      <xsl:attribute name="verticalDatum"><xsl:value-of select="normalize-space(VerticalDatum/@name)"/></xsl:attribute>
    </xsl:if>
    <xsl:if test="normalize-space(Datum/@ellipsoid) != ''">
      <xsl:attribute name="ellipsoidName"><xsl:value-of select="normalize-space(Datum/@ellipsoid)"/></xsl:attribute>
    </xsl:if>
  </CoordinateSystem>
</xsl:template>

<xsl:template name="project">
  <xsl:variable name="p" select="$job/JobProperties"/>
  <xsl:variable name="name" select="normalize-space($p/Name)"/>
  <Project>
    <xsl:attribute name="name">
      <xsl:value-of select="$name"/>
      <xsl:if test="$name = ''">
        <xsl:value-of select="normalize-space($p/Number)"/>
      </xsl:if>
    </xsl:attribute>
    <xsl:if test="normalize-space($p/Description) != ''">
      <xsl:attribute name="desc"><xsl:value-of select="normalize-space($p/Description)"/></xsl:attribute>
    </xsl:if>
    <xsl:variable name="properties" select="$p/*[local-name() != 'Name' and local-name() != 'Description'
                                                 and normalize-space(.) != '']"/>
    <xsl:if test="$properties">
      <Feature name="JobProperties">
        <xsl:for-each select="$properties">
          <Property label="{local-name()}" value="{normalize-space(.)}"/>
        </xsl:for-each>
      </Feature>
    </xsl:if>
  </Project>
</xsl:template>

<!-- ============================================================== points -->
<xsl:template match="Point">
  <CgPoint name="{normalize-space(@name)}">
    <xsl:if test="normalize-space(@code) != ''">
      <xsl:attribute name="code"><xsl:value-of select="normalize-space(@code)"/></xsl:attribute>
    </xsl:if>
    <xsl:if test="normalize-space(Description) != ''">
      <xsl:attribute name="desc"><xsl:value-of select="normalize-space(Description)"/></xsl:attribute>
    </xsl:if>
    <xsl:if test="string-length(normalize-space(@time)) = 20">
      <xsl:attribute name="timeStamp"><xsl:value-of select="normalize-space(@time)"/></xsl:attribute>
    </xsl:if>
    <xsl:call-template name="length">
      <xsl:with-param name="value" select="Grid/@n"/>
    </xsl:call-template>
    <xsl:value-of select="$sp"/>
    <xsl:call-template name="length">
      <xsl:with-param name="value" select="Grid/@e"/>
    </xsl:call-template>
    <xsl:if test="number(Grid/@z) = number(Grid/@z)">
      <xsl:value-of select="$sp"/>
      <xsl:call-template name="length">
        <xsl:with-param name="value" select="Grid/@z"/>
      </xsl:call-template>
    </xsl:if>
  </CgPoint>
</xsl:template>

<!-- ============================================================== survey -->
<xsl:template name="survey">
  <xsl:variable name="p" select="$job/JobProperties"/>
  <xsl:variable name="instrument" select="$job/Equipment/TotalStation[@id = $job/Setups/Setup[1]/@instrument]"/>
  <Survey>
    <SurveyHeader type="surveyed">
      <xsl:attribute name="name">
        <xsl:value-of select="normalize-space($p/Number)"/>
        <xsl:if test="normalize-space($p/Number) = ''">
          <xsl:value-of select="normalize-space($p/Name)"/>
        </xsl:if>
      </xsl:attribute>
      <xsl:if test="normalize-space($p/Location) != ''">
        <xsl:attribute name="desc"><xsl:value-of select="normalize-space($p/Location)"/></xsl:attribute>
      </xsl:if>
      <xsl:if test="normalize-space($p/Surveyor) != ''">
        <xsl:attribute name="surveyor"><xsl:value-of select="normalize-space($p/Surveyor)"/></xsl:attribute>
      </xsl:if>
      <xsl:if test="normalize-space($p/Company) != ''">
        <xsl:attribute name="surveyorFirm"><xsl:value-of select="normalize-space($p/Company)"/></xsl:attribute>
      </xsl:if>
    </SurveyHeader>
    <!-- LandXML 1.2 has room for one instrument in a survey -->
    <xsl:for-each select="$instrument">
      <xsl:variable name="settings" select="$job/Reductions/Settings"/>
      <Equipment>
        <InstrumentDetails>
          <xsl:attribute name="id">
            <xsl:call-template name="instrument-id"/>
          </xsl:attribute>
          <xsl:if test="normalize-space(@model) != ''">
            <xsl:attribute name="model"><xsl:value-of select="normalize-space(@model)"/></xsl:attribute>
          </xsl:if>
          <xsl:if test="normalize-space(@serial) != ''">
            <xsl:attribute name="serialNumber"><xsl:value-of select="normalize-space(@serial)"/></xsl:attribute>
          </xsl:if>
          <Corrections>
            <xsl:if test="number($settings/@refractionCoefficient) = number($settings/@refractionCoefficient)">
              <xsl:attribute name="refractionCoefficient"><xsl:value-of select="number($settings/@refractionCoefficient)"/></xsl:attribute>
              <xsl:attribute name="applyRefractionCoefficient">
                <xsl:value-of select="$settings/@curvatureRefraction = 'yes'"/>
              </xsl:attribute>
            </xsl:if>
          </Corrections>
        </InstrumentDetails>
      </Equipment>
    </xsl:for-each>
    <xsl:apply-templates select="$job/Setups/Setup">
      <xsl:with-param name="instrument" select="$instrument"/>
    </xsl:apply-templates>
  </Survey>
</xsl:template>

<xsl:template name="instrument-id">
  <xsl:value-of select="concat('instrument-', translate(@id, translate(@id, $idChars, ''), $underscores))"/>
</xsl:template>

<xsl:template match="Setup">
  <xsl:param name="instrument"/>
  <xsl:variable name="station" select="key('point', @station)"/>
  <xsl:variable name="reduction" select="key('setup-reduction', @id)"/>
  <xsl:variable name="backsight" select="Observation[@role = 'backsight'][1]"/>
  <InstrumentSetup id="{concat('setup-', translate(@id, translate(@id, $idChars, ''), $underscores))}"
                   stationName="{normalize-space($station/@name)}">
    <xsl:attribute name="instrumentHeight">
      <xsl:call-template name="length">
        <xsl:with-param name="value" select="@instrumentHeight"/>
      </xsl:call-template>
    </xsl:attribute>
    <xsl:if test="$instrument and @instrument = $instrument/@id">
      <xsl:attribute name="instrumentDetailsID">
        <xsl:for-each select="$instrument">
          <xsl:call-template name="instrument-id"/>
        </xsl:for-each>
      </xsl:attribute>
    </xsl:if>
    <xsl:if test="number($reduction/@orientation) = number($reduction/@orientation)">
      <xsl:attribute name="orientationAzimuth">
        <xsl:value-of select="format-number($reduction/@orientation, $anglePattern)"/>
      </xsl:attribute>
    </xsl:if>
    <InstrumentPoint pntRef="{normalize-space($station/@name)}"/>
    <xsl:for-each select="$backsight[number(@hz) = number(@hz)]">
      <xsl:variable name="reduced" select="key('reduced', @id)"/>
      <Backsight circle="{format-number(@hz, $anglePattern)}">
        <xsl:if test="number(@targetHeight) = number(@targetHeight)">
          <xsl:attribute name="targetHeight">
            <xsl:call-template name="length">
              <xsl:with-param name="value" select="@targetHeight"/>
            </xsl:call-template>
          </xsl:attribute>
        </xsl:if>
        <xsl:if test="number($reduced/@azimuth) = number($reduced/@azimuth)">
          <xsl:attribute name="azimuth"><xsl:value-of select="format-number($reduced/@azimuth, $anglePattern)"/></xsl:attribute>
        </xsl:if>
        <BacksightPoint pntRef="{normalize-space(key('point', @point)/@name)}"/>
      </Backsight>
    </xsl:for-each>
    <xsl:apply-templates select="Observation"/>
  </InstrumentSetup>
</xsl:template>

<xsl:template match="Observation">
  <RawObservation>
    <xsl:if test="@role = 'backsight' or @role = 'sideshot' or @role = 'foresight' or @role = 'check'">
      <xsl:attribute name="purpose"><xsl:value-of select="@role"/></xsl:attribute>
    </xsl:if>
    <xsl:if test="number(@hz) = number(@hz)">
      <xsl:attribute name="horizAngle"><xsl:value-of select="format-number(@hz, $anglePattern)"/></xsl:attribute>
    </xsl:if>
    <xsl:if test="number(@v) = number(@v)">
      <xsl:attribute name="zenithAngle"><xsl:value-of select="format-number(@v, $anglePattern)"/></xsl:attribute>
    </xsl:if>
    <xsl:if test="number(@sd) = number(@sd)">
      <xsl:attribute name="slopeDistance">
        <xsl:call-template name="length">
          <xsl:with-param name="value" select="@sd"/>
        </xsl:call-template>
      </xsl:attribute>
    </xsl:if>
    <xsl:if test="number(@targetHeight) = number(@targetHeight)">
      <xsl:attribute name="targetHeight">
        <xsl:call-template name="length">
          <xsl:with-param name="value" select="@targetHeight"/>
        </xsl:call-template>
      </xsl:attribute>
    </xsl:if>
    <xsl:if test="string-length(normalize-space(@time)) = 20">
      <xsl:attribute name="timeStamp"><xsl:value-of select="normalize-space(@time)"/></xsl:attribute>
    </xsl:if>
    <TargetPoint pntRef="{normalize-space(key('point', @point)/@name)}"/>
  </RawObservation>
</xsl:template>

<!-- ============================================================== numbers -->
<!-- a length in metres in the chosen unit -->
<xsl:template name="length">
  <xsl:param name="value"/>
  <xsl:value-of select="format-number($value div $metres, $lengthPattern)"/>
</xsl:template>

</xsl:stylesheet>
