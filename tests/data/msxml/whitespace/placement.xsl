<?xml version="1.0"?>
<!-- White space written as character references where the processor allows no text: before
     xsl:sort and xsl:param, and in a variable that has a select attribute. The style sheet
     must still compile, and runs as if that white space were not there. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="text"/>
  <xsl:variable name="sep" select="'|'">&#10;</xsl:variable>
  <xsl:template match="/">
    <xsl:for-each select="points/p">&#10;<xsl:sort select="." order="descending"/>
      <xsl:call-template name="show">&#10;<xsl:with-param name="value" select="."/></xsl:call-template>
    </xsl:for-each>
  </xsl:template>
  <xsl:template name="show">&#9;<xsl:param name="value"/>
    <xsl:value-of select="concat($value, $sep)"/>
  </xsl:template>
</xsl:stylesheet>
